// One fuzz input, in memory, through the end-record finder, the directory iterator and the engines' reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Never throws; a crash, a sanitizer report or a foreign exception is the finding. Returns what the
// readers made of the input ("3 entries" or the refusal), for the replay's log.
std::string RunDirectoryInput(const uint8_t* data, size_t size);
