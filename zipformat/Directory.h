// Reading a central directory: a bounds-checked cursor and the iterator every walk of a directory uses.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "zipformat/ByteSource.h"
#include "zipformat/ZipRecords.h"

namespace zip {

struct EndOfArchive;

// Reads forward through a source, buffered, and never past `end`. A short read fills what it
// could not read with zeros and latches Failed(), so a reader checks once per record.
class ByteCursor {
public:
    static constexpr int64_t kNoEnd = INT64_MAX;
    ByteCursor(ByteSource& source, int64_t start, int64_t end = kNoEnd);

    // Goes on at `start` of another source (or the same one), clearing the failure.
    void Restart(ByteSource& source, int64_t start, int64_t end = kNoEnd);
    void Read(void* destination, int32_t count);
    template <class R>
    void ReadRecord(R& record) {
        Read(record.data(), R::size());
    }
    bool Failed() const { return failed_; }
    int64_t Position() const { return position_; }

private:
    bool Fill();

    ByteSource* source_;
    int64_t position_;  // of the next byte handed out
    int64_t end_;
    std::vector<uint8_t> buffer_;
    int64_t bufferStart_ = 0;  // source offset of buffer_[0]
    int32_t bufferLength_ = 0;
    bool failed_ = false;
};

// Goes through `count` central headers with their names, extra fields and comments.
//
//     DirectoryIterator entries(source, end);
//     while (entries.Next()) use(entries.Header(), entries.Name());
//     if (entries.Failed()) report();
//
// The texts are views into the iterator, valid until the next call of Next().
class DirectoryIterator {
public:
    // The single-disk directory of an archive whose end record was found, read within its bounds.
    DirectoryIterator(ByteSource& source, const EndOfArchive& end);
    // `count` headers from `start`, not past `end`. A count that the bytes from `start` to `end`
    // cannot hold (46 bytes a header at least) is Failed() at once, so that no caller reserves
    // room for it.
    DirectoryIterator(ByteSource& source, int64_t start, int64_t end, uint64_t count);

    // The next entry; false after the last one and on a failure.
    bool Next();
    bool Failed() const { return failed_; }
    // The failure was a header that did not arrive whole: in a multi-disk set the directory goes on
    // on the next disk (a header is never split between disks).
    bool HeaderCutShort() const { return headerCutShort_; }
    // Reads the entry that was cut short again, from `start` of another source.
    void ContinueOn(ByteSource& source, int64_t start, int64_t end = ByteCursor::kNoEnd);

    const CentralFileHeader& Header() const { return header_; }
    std::string_view Name() const { return Text(0, header_.FileNameLength()); }
    std::string_view ExtraField() const { return Text(header_.FileNameLength(), header_.ExtraFieldLength()); }
    std::string_view Comment() const {
        return Text(header_.FileNameLength() + header_.ExtraFieldLength(), header_.FileCommentLength());
    }
    // Name, extra field and comment together, as they stand in the archive.
    std::string_view VariableFields() const { return Text(0, header_.VariableLength()); }
    // Index of the current entry, and where its header stands in the source.
    int64_t Index() const { return index_; }
    int64_t HeaderPosition() const { return headerPosition_; }
    // Where the next header would start: past the current entry's comment.
    int64_t Position() const { return cursor_.Position(); }
    // The archive's names and comments are OEM text: decided by the first header (see NameRule.h).
    bool OemNames() const { return oemNames_; }

private:
    std::string_view Text(int32_t at, int32_t length) const {
        return std::string_view(reinterpret_cast<const char*>(variable_.data()) + at, static_cast<size_t>(length));
    }

    ByteCursor cursor_;
    uint64_t count_;
    int64_t index_ = -1;
    int64_t headerPosition_ = -1;
    CentralFileHeader header_;
    std::vector<uint8_t> variable_;  // name, extra field and comment
    bool oemNames_ = false;
    bool failed_ = false;
    bool headerCutShort_ = false;
};

}  // namespace zip
