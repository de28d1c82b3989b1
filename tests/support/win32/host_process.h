// Under Wine every Windows process is a process of the host, whose /proc
// Wine shows as drive Z:. Where the system's own figures of another process
// stay still under Wine (its processor times, its private bytes), the
// benchmarks and the soak read the host's.
#pragma once

#include <cstddef>
#include <string>

namespace test_support {

// The whole of a small host file (up to `limit` bytes), or empty.
std::string ReadHostFile(const std::wstring& path, std::size_t limit = 8192);

// The /proc folder ("Z:\proc\<pid>") of the host process whose program (its
// command line's first word) ends in `image` and whose command line holds
// the argument "/user" exactly when `user_argument` is true; empty when there
// is none (as on Windows itself).
std::wstring FindHostProcess(const char* image, bool user_argument);

// The /proc folder of this process on the host: the one whose program is
// this module, named by its Unix path, whole or relative (`wine
// path/program.exe`, as the tests' scripts start it), or by its Windows path
// (as cmd or any Windows process starts it); empty when there is none.
// "Z:\proc\self" would be Wine's server, which opens files for everyone.
std::wstring OwnHostProcess();

}  // namespace test_support
