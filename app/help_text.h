// The text of the main window's Help box.
#pragma once

#include <string>

// Two texts joined: the first ends with "you selected. " and the second goes on on the same
// line with "Click on any of the column titles in". Lines are separated by "\n".
std::string HelpText();
