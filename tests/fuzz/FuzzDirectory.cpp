// One fuzz input, in memory, through the end-record finder, the directory iterator and the engines' reader.
#include "tests/fuzz/FuzzTargets.h"

#include <string>

#include "engines/common/ArchiveDirectory.h"
#include "tests/support/ArchiveBuilder.h"
#include "zipformat/CaseFold.h"
#include "zipformat/Directory.h"
#include "zipformat/EndRecord.h"
#include "zipformat/NameRule.h"
#include "zipformat/UnicodeNames.h"
#include "zipformat/Utf8.h"

namespace {

// A found record lies wholly inside the input, and so does the directory the iterator hands out.
void CheckFinder(zip::ByteSource& source, size_t size) {
    const int64_t position = zip::FindEndRecord(source);
    if (position == -1) return;
    if (position < 0 || static_cast<size_t>(position) + zip::EndOfCentralHeader::kSize > size) Broken("a found end record lies inside the input");
}

size_t SeparatorsIn(std::string_view text) {
    size_t count = 0;
    for (const char c : text) count += c == '/' || c == '\\';
    return count;
}

// Folded, the key that collision sets compare: valid, as many characters long, folded for good.
void CheckFolded(const std::string& name) {
    const std::string folded = zip::FoldCaseUtf8(name);
    if (!zip::IsValidUtf8(folded) || zip::CodePoints(folded).size() != zip::CodePoints(name).size() ||
        zip::FoldCaseUtf8(folded) != folded)
        Broken("a folded name is valid UTF-8, as long and folds no further");
}

// Whatever a name's bytes and blocks, its Unicode form is valid UTF-8 and reaches no further.
void CheckUnicodeName(const zip::DirectoryIterator& directory) {
    const std::string name = zip::EntryNameUtf8(directory.Name(), directory.Header().Flags(), directory.ExtraField(),
                                                directory.OemNames());
    if (!zip::IsValidUtf8(name) || SeparatorsIn(name) > SeparatorsIn(directory.Name())) Broken("a Unicode name is valid UTF-8 with no more separators");
    CheckFolded(name);
    const std::string comment = zip::EntryCommentUtf8(directory.Comment(), directory.Header().Flags(),
                                                      directory.ExtraField(), directory.OemNames());
    if (!zip::IsValidUtf8(comment)) Broken("a Unicode comment is valid UTF-8");
}

// The walk the archive object, the comment editor, spanning and the stub stripper make.
std::string WalkDirectory(zip::ByteSource& source) {
    const zip::EndOfArchive end = zip::FindEndOfArchive(source);
    if (!end.Found()) return "no end record";
    if (!end.Usable()) return "ZIP64 records that do not check out";
    zip::DirectoryIterator directory(source, end);
    uint64_t count = 0;
    while (directory.Next()) {
        if (directory.HeaderPosition() < end.DirectoryStart() || directory.Position() > end.DirectoryEnd())
            Broken("a directory record lies inside the directory");
        const zip::TextEncoding encoding = zip::EntryTextEncoding(directory.Header(), directory.OemNames());
        zip::DecodeText(encoding, std::string(directory.Name()));
        zip::DecodeText(encoding, std::string(directory.Comment()));
        CheckUnicodeName(directory);
        ++count;
    }
    if (count > end.entries) Broken("no more entries than the end record counts");
    return std::to_string(count) + (directory.Failed() ? " entries, then a damaged header" : " entries");
}

// The engines read the same bytes with their own rules on top (several disks, ZIP64 per entry),
// for callers in the code page and in UTF-8.
std::string ReadAsEngine(const std::string& bytes, bool unicode) {
    larktest::MemoryStream stream(bytes);
    engines::Directory directory;
    std::string error;
    if (!engines::ReadDirectory(stream, directory, error, unicode)) return error;
    for (const engines::Entry& entry : directory.entries) {
        const std::string shown = entry.ShownName();
        if (unicode && !zip::IsValidUtf8(shown)) Broken("a name the engines show in UTF-8 is valid UTF-8");
    }
    return std::to_string(directory.entries.size()) + " entries";
}

}  // namespace

std::string RunDirectoryInput(const uint8_t* data, size_t size) {
    zip::MemorySource source(data, size);
    CheckFinder(source, size);
    const std::string walked = WalkDirectory(source);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string engine = ReadAsEngine(bytes, false);
    ReadAsEngine(bytes, true);
    return walked + "; engines: " + engine;
}
