// The fuzz targets: each runs one input, in memory, through one reader of foreign bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Each never throws; a crash, a sanitizer report, a foreign exception or an abort on a broken
// promise is the finding. Each returns what the code made of the input ("3 entries" or the
// refusal), for the replay's log.

// The end-record finder, the directory iterator, the names' decoding and the engines' directory.
std::string RunDirectoryInput(const uint8_t* data, size_t size);
// UnzDll's whole extraction through its export, into a scratch folder (the replay only).
std::string RunEngineInput(const uint8_t* data, size_t size);
// The engines' extraction of every entry into memory: local headers, data descriptors, the
// overlap check, the traditional cipher, inflate and the declared-size stop.
std::string RunExtractInput(const uint8_t* data, size_t size);
// The stub's archive reader and its settings block.
std::string RunStubInput(const uint8_t* data, size_t size);
// Taking the stub off a self-extracting program.
std::string RunStripInput(const uint8_t* data, size_t size);
// The directory rewrite that ends a merge of a multi-disk set.
std::string RunMergeInput(const uint8_t* data, size_t size);
// Editing the archive comment and an entry's comment in a scratch file.
std::string RunCommentInput(const uint8_t* data, size_t size);

// Names the promise an input broke, for the finding's log, and ends the run as a crash would.
[[noreturn]] void Broken(const char* promise);

// The password the seeds' encrypted entries carry, which the extracting targets try.
constexpr const char* kFuzzPassword = "fuzz";
