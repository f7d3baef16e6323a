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

// A tab, line break or backslash inside a text, written as \t, \n, \\.
std::string Escape(const std::string& text);

}  // namespace lark
