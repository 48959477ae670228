// TReadRestart: thrown inside a cursor operation when a record read found the table changed
// by another user (the caches were dropped), so that the operation resynchronises and starts
// again. Shared by the cursor and the collaborators that read records for it.
#pragma once

namespace quarry {

struct TReadRestart {};

}  // namespace quarry
