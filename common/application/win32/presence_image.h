// Whether the application runs, judged by its image: a process whose
// executable is the application's, in any session.
#pragma once

#include <string_view>

namespace application {

// True when a process whose full image path equals `path` without regard to
// case runs. Walks a process snapshot and asks each process for its image
// with limited query access; a process that refuses even that is passed
// over. A snapshot that cannot be taken finds nothing.
bool ProcessWithImageRuns(std::u16string_view path);

}  // namespace application
