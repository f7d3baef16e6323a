// The commands of the console front end, one function each.
#pragma once

#include <string>
#include <vector>

namespace lark {

using Arguments = std::vector<std::string>;

// Each command returns the process exit code; failures of the archive object arrive as exceptions.
int List(const Arguments& args);
int Comment(const Arguments& args);
int FileComment(const Arguments& args);
int Sfx(const Arguments& args);
int Strip(const Arguments& args);
// Prints the product's version.
int Version(const Arguments& args);
// The engine commands take options anywhere among their arguments; they return kUsageError when
// the arguments do not fit.
int Add(const Arguments& args);
int Extract(const Arguments& args);
int Test(const Arguments& args);
int Delete(const Arguments& args);

constexpr int kUsageError = 2;

// A tab, line break, backslash or NUL inside a text, written as \t, \n, \\, \0.
std::string Escape(const std::string& text);

}  // namespace lark
