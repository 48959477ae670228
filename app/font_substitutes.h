// The Windows font families the windows and reports ask for by name, mapped to the free
// families the set-up script installs (fonts-liberation, fonts-dejavu-core), so "MS Sans Serif"
// and its kin resolve to a font of like metrics instead of whatever the system picks.
#pragma once

// Registers the substitutions with QFont; call once after the application object exists.
void InstallFontSubstitutions();
