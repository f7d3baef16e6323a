// One fuzz input through the extracting engine, as a hostile archive reaches it from lark or the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Extracts every entry of the input into a scratch folder, answering every question No, and
// deletes what was written. Returns what the engine did ("2 extracted, 1 not"), for the replay's log.
std::string RunEngineInput(const uint8_t* data, size_t size);
