// Host console: arguments, terminals and typed lines are UTF-8 already.
#include "platform/Text.h"

namespace platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }
void WriteText(std::FILE* stream, const std::string& text) { std::fwrite(text.data(), 1, text.size(), stream); }
std::string TextFromConsole(const std::string& line) { return line; }

}  // namespace platform
