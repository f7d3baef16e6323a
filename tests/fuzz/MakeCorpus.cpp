// Writes the small seed corpus of the directory fuzzer into a folder: run it to regenerate corpus/.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/ArchiveBuilder.h"

using larktest::ArchiveBuilder;
using larktest::EntrySpec;
using larktest::FromHex;
using larktest::PutU32;

namespace {

void Write(const std::string& folder, const std::string& name, const std::string& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ArchiveBuilder ThreeEntries() {
    EntrySpec commented;
    commented.name = "dir/b.txt";
    commented.data = "second";
    commented.comment = "file comment";
    commented.extra = FromHex("55 54 05 00 01 00 00 00 00");
    EntrySpec ntfs;
    ntfs.name = "c.bin";
    ntfs.data = std::string(64, '\x80');
    ntfs.hostSystem = 11;
    ntfs.specVersion = 50;
    ntfs.dataDescriptor = true;
    return ArchiveBuilder().Add("a.txt", "first").Add(commented).Add(ntfs);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    Write(folder, "minimal.zip", ArchiveBuilder().Bytes());
    Write(folder, "entries.zip", ThreeEntries().Comment("archive comment").Bytes());
    Write(folder, "stub.zip", ThreeEntries().Stub(larktest::StubBytes(200), false).Bytes());
    Write(folder, "stub-counted.zip", ThreeEntries().Stub(larktest::StubBytes(200), true).Bytes());
    Write(folder, "signature-in-comment.zip",
          ArchiveBuilder().Add("a", "1").Comment(std::string("PK\x05\x06", 4) + std::string(30, 'x')).Bytes());
    Write(folder, "multi-disk.zip", ThreeEntries().Disks(2, 1).Bytes());
    {
        // Central directory claimed to start before the file.
        auto built = ThreeEntries().Build();
        PutU32(built.bytes, built.layout.endRecord + 12, 0x7FFFFFF0);
        Write(folder, "directory-too-large.zip", built.bytes);
    }
    Write(folder, "zip64-redundant.zip", ThreeEntries().Zip64Records().Bytes());
    {
        // ZIP64 records whose count does not fit the end record.
        auto built = ThreeEntries().EntryCount(0xFFFF).Zip64Records().Build();
        larktest::PutU64(built.bytes, built.layout.zip64EndRecord + larktest::kZip64TotalEntries, 70000);
        Write(folder, "zip64.zip", built.bytes);
    }
    {
        std::string truncated = ThreeEntries().Bytes();
        truncated.erase(truncated.size() - 40, 10);
        Write(folder, "cut-in-directory.zip", truncated);
    }
    Write(folder, "text.txt", "This is not an archive at all.\r\n");
    return 0;
}
