// One fuzz input through the end-record finder, directory reader, comment editor and stub stripper.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Never throws; a crash, a sanitizer report or a foreign exception is the finding. Returns what the
// reader made of the input ("3 entries" or the refusal's message), for the replay's log.
std::string RunDirectoryInput(const uint8_t* data, size_t size);
