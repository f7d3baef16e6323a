// One fuzz input run through the end-record finder and the directory reader.
#pragma once

#include <cstddef>
#include <cstdint>

// Never throws; a crash, a sanitizer report or a foreign exception is the finding.
void RunDirectoryInput(const uint8_t* data, size_t size);
