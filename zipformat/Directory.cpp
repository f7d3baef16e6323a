// The bounds-checked cursor and the central directory iterator.
#include "zipformat/Directory.h"

#include <algorithm>
#include <cstring>

#include "zipformat/EndRecord.h"
#include "zipformat/NameRule.h"

namespace zip {
namespace {

// One read per 64 KiB, so a directory of many small entries costs few system calls.
constexpr int32_t kCursorBufferSize = 65536;

}  // namespace

ByteCursor::ByteCursor(ByteSource& source, int64_t start, int64_t end) : buffer_(kCursorBufferSize) {
    Restart(source, start, end);
}

void ByteCursor::Restart(ByteSource& source, int64_t start, int64_t end) {
    source_ = &source;
    position_ = start;
    end_ = end;
    bufferStart_ = start;
    bufferLength_ = 0;
    failed_ = start < 0;
}

bool ByteCursor::Fill() {
    bufferStart_ = position_;
    const int64_t left = end_ - position_;
    const int32_t wanted = left < kCursorBufferSize ? static_cast<int32_t>(left) : kCursorBufferSize;
    bufferLength_ = wanted > 0 ? source_->ReadAt(position_, buffer_.data(), wanted) : 0;
    return bufferLength_ > 0;
}

void ByteCursor::Read(void* destination, int32_t count) {
    auto* out = static_cast<uint8_t*>(destination);
    int32_t done = 0;
    while (!failed_ && done < count) {
        const int64_t offset = position_ - bufferStart_;
        if ((offset >= bufferLength_ || offset < 0) && !Fill()) {
            failed_ = true;
            break;
        }
        const int32_t at = static_cast<int32_t>(position_ - bufferStart_);
        const int32_t chunk = std::min(count - done, bufferLength_ - at);
        std::memcpy(out + done, buffer_.data() + at, static_cast<size_t>(chunk));
        done += chunk;
        position_ += chunk;
    }
    if (done < count) std::memset(out + done, 0, static_cast<size_t>(count - done));
}

DirectoryIterator::DirectoryIterator(ByteSource& source, const EndOfArchive& end)
    : DirectoryIterator(source, end.DirectoryStart(), end.DirectoryEnd(), end.entries) {}

DirectoryIterator::DirectoryIterator(ByteSource& source, int64_t start, int64_t end, uint64_t count)
    : cursor_(source, start, end), count_(count) {
    if (end != ByteCursor::kNoEnd && count > static_cast<uint64_t>(std::max<int64_t>(end - start, 0)) / CentralFileHeader::kSize)
        failed_ = true;
}

bool DirectoryIterator::Next() {
    if (failed_ || static_cast<uint64_t>(index_ + 1) >= count_) return false;
    headerPosition_ = cursor_.Position();
    cursor_.ReadRecord(header_);
    if (cursor_.Failed()) {
        failed_ = headerCutShort_ = true;
        return false;
    }
    if (header_.Signature() != kCentralHeaderSignature) {
        failed_ = true;
        return false;
    }
    variable_.resize(static_cast<size_t>(header_.VariableLength()));
    cursor_.Read(variable_.data(), header_.VariableLength());
    if (cursor_.Failed()) {
        failed_ = true;
        return false;
    }
    ++index_;
    if (index_ == 0) oemNames_ = ArchiveUsesOemNames(header_);
    return true;
}

void DirectoryIterator::ContinueOn(ByteSource& source, int64_t start, int64_t end) {
    cursor_.Restart(source, start, end);
    failed_ = headerCutShort_ = false;
}

}  // namespace zip
