// The heap as Qt's PDF engine needs it. The printer channel and the PDF file channel both
// draw through that engine (QPrinter writes a PDF for CUPS; QPdfWriter writes the file).
#pragma once

namespace gpr {

// Qt's PDF engine reads every finished page back in 16 MB blocks to compress it. The C
// library hands out blocks that large by mapping fresh memory and unmaps them when they are
// freed, so each page cost two maps, unmaps and their page faults - a third of the time of
// an 800-page report. Blocks up to 32 MB then come from the heap, which keeps up to 64 MB of
// free space instead of giving it back at once. Called before a run; only the first call
// changes anything.
void KeepPdfEngineBlocksInHeap();

}  // namespace gpr
