// Text and path forms of the host: names are bytes, UTF-8 in the file system as in the core, which adds drive letters.
#pragma once

#include <string>

namespace platform::posix {

std::string Utf8FromAnsi(const std::string& ansi);
// Characters the ANSI code page lacks, and bytes that are not UTF-8, become the replacement.
std::string AnsiFromUtf8(const std::string& utf8);
// An absolute host path ("/tmp/a") in system form ("C:\tmp\a"), the host's root being drive C:.
std::string SystemFromHostPath(const std::string& hostPath);

}  // namespace platform::posix
