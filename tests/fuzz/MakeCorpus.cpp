// Writes the small seed corpus of the fuzz targets into a folder: run it to regenerate corpus/.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "abi/SfxSettings.h"
#include "engines/common/Aes.h"
#include "engines/common/Codec.h"
#include "tests/fuzz/FuzzTargets.h"
#include "tests/support/ArchiveBuilder.h"
#include "zipformat/UnicodeNames.h"
#include "zipformat/ZipRecords.h"

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

// An entry's plain content and how it is stored: deflated, encrypted with the fuzz password, or
// with its sizes in a data descriptor; or AES-encrypted with it.
struct Packed {
    std::string name;
    std::string data;
    bool deflate = false;
    bool encrypt = false;
    bool descriptor = false;
    uint8_t aesStrength = 0;
    uint16_t aesVersion = zip::AesExtraBlock::kAe1;
    bool unauthentic = false;  // one encrypted byte changed after the authentication code was taken
};

// Salt and check value, the encrypted bytes and their code, as the engines seal an AES entry, but
// with a fixed salt, so that the corpus comes out the same every time.
std::vector<uint8_t> SealAes(std::vector<uint8_t> bytes, uint8_t strength, bool unauthentic) {
    const std::vector<uint8_t> salt(zip::AesSaltLength(strength), 0x5A);
    const engines::AesKeys keys = engines::DeriveAesKeys(kFuzzPassword, salt.data(), strength);
    engines::AesCtr(keys.cipherKey).Apply(bytes.data(), bytes.size());
    engines::AesMac mac(keys.macKey);
    mac.Update(bytes.data(), bytes.size());
    const auto code = mac.Code();
    if (unauthentic && !bytes.empty()) bytes[0] ^= 1;
    std::vector<uint8_t> sealed = salt;
    sealed.insert(sealed.end(), keys.verifier.begin(), keys.verifier.end());
    sealed.insert(sealed.end(), bytes.begin(), bytes.end());
    sealed.insert(sealed.end(), code.begin(), code.end());
    return sealed;
}

std::string Pack(const Packed& item) {
    std::vector<uint8_t> stored(item.data.begin(), item.data.end());
    if (item.deflate) {
        std::vector<uint8_t> packed;
        engines::Deflater(6).Compress(stored.data(), stored.size(), true, packed);
        stored = packed;
    }
    if (item.aesStrength != 0) stored = SealAes(stored, item.aesStrength, item.unauthentic);
    if (item.encrypt) {
        // A fixed header, so that the corpus comes out the same every time.
        std::vector<uint8_t> header(engines::ZipCipher::kHeaderSize, 0x5A);
        header.back() = static_cast<uint8_t>(larktest::Crc32(item.data) >> 24);
        header.insert(header.end(), stored.begin(), stored.end());
        stored = header;
        engines::ZipCipher(kFuzzPassword).Encrypt(stored.data(), stored.size());
    }
    return std::string(stored.begin(), stored.end());
}

// The builder stores what it is given; the method, CRC and plain size are set afterwards.
std::string PackedArchive(const std::vector<Packed>& items, const std::string& stub = std::string()) {
    ArchiveBuilder builder;
    for (const Packed& item : items) {
        EntrySpec spec;
        spec.name = item.name;
        spec.data = Pack(item);
        spec.flags = item.encrypt || item.aesStrength != 0 ? 1 : 0;
        spec.dataDescriptor = item.descriptor;
        if (item.aesStrength != 0) {
            const auto block = zip::AesExtraBlock::Make(item.aesVersion, item.aesStrength, item.deflate ? 8 : 0);
            spec.extra.assign(reinterpret_cast<const char*>(block.data()), block.size());
        }
        builder.Add(spec);
    }
    if (!stub.empty()) builder.Stub(stub, false);
    auto built = builder.Build();
    for (size_t i = 0; i < items.size(); ++i) {
        const bool aes = items[i].aesStrength != 0;
        // AE-2 stores no CRC.
        const uint32_t crc = aes && items[i].aesVersion == zip::AesExtraBlock::kAe2 ? 0 : larktest::Crc32(items[i].data);
        const auto size = static_cast<uint32_t>(items[i].data.size());
        for (const size_t header : {built.layout.localHeaders[i], built.layout.centralHeaders[i] + 2}) {
            larktest::PutU16(built.bytes, header + 8, aes ? zip::kMethodAes : items[i].deflate ? 8 : 0);
            if (items[i].descriptor && header == built.layout.localHeaders[i]) continue;
            PutU32(built.bytes, header + 14, crc);
            PutU32(built.bytes, header + 22, size);
        }
    }
    return built.bytes;
}

std::string Text(size_t size) {
    std::string text;
    while (text.size() < size) text += "the quick brown fox jumps over the lazy dog " + std::to_string(text.size());
    return text.substr(0, size);
}

void WriteEngineSeeds(const std::string& folder) {
    Write(folder, "deflated.zip", PackedArchive({{"a.txt", Text(3000), true}, {"b/", ""}, {"b/c.txt", "c", true}}));
    Write(folder, "encrypted.zip",
          PackedArchive({{"stored.txt", Text(100), false, true}, {"deflated.txt", Text(2000), true, true}}));
    Write(folder, "descriptor.zip",
          PackedArchive({{"a.txt", Text(500), true, false, true}, {"e.txt", Text(50), true, true, true}}));
    {
        // Declares fewer bytes than its data inflates to, as a bomb does.
        std::string bomb = PackedArchive({{"bomb.txt", std::string(20000, 'z'), true}});
        PutU32(bomb, bomb.find(std::string("PK\x01\x02", 4)) + 24, 1000);
        Write(folder, "declared-too-small.zip", bomb);
    }
    // The three key sizes, AE-1 and AE-2, and data changed behind its authentication code (AE-2 and
    // stored, so that only the code can tell).
    Write(folder, "aes.zip",
          PackedArchive({{"aes256.txt", Text(300), false, false, false, 3},
                         {"aes128.txt", Text(2000), true, false, false, 1, zip::AesExtraBlock::kAe2},
                         {"aes192-changed.txt", Text(100), false, false, false, 2, zip::AesExtraBlock::kAe2, true}}));
    // The stub as it is built: its settings block, then the archive behind its image.
    const std::string block(sfxsettings::kDefaultBlock.begin(), sfxsettings::kDefaultBlock.end());
    Write(folder, "program.exe",
          PackedArchive({{"setup.txt", Text(700), true}, {"key.txt", "k", false, true}},
                        larktest::StubBytes(100) + block + larktest::StubBytes(50)));
    {
        // A directory that lists the entries in another order than the file holds them.
        auto built = ArchiveBuilder().Add("a.txt", "first").Add("b.txt", "second").Stub(larktest::StubBytes(64), false).Build();
        const size_t first = built.layout.centralHeaders[0];
        const size_t second = built.layout.centralHeaders[1];
        const std::string a = built.bytes.substr(first, second - first);
        const std::string b = built.bytes.substr(second, built.layout.endRecord - second);
        built.bytes.replace(first, a.size() + b.size(), b + a);
        Write(folder, "reordered-program.exe", built.bytes);
    }
    // A set's parts joined as a merge joins them: the marker counted by disk 0's offsets.
    EntrySpec onSecondDisk;
    onSecondDisk.name = "second.txt";
    onSecondDisk.data = "on disk 1";
    onSecondDisk.diskNumberStart = 1;
    Write(folder, "joined-set.zip",
          ArchiveBuilder().Add("first.txt", "on disk 0").Add(onSecondDisk).Disks(1, 1).Stub(FromHex("50 4B 07 08"), true).Bytes());
}

// Names flagged UTF-8 (a broken one among them), and code-page names with Unicode path and comment
// blocks whose CRC matches the stored bytes and does not.
void WriteUnicodeSeeds(const std::string& folder) {
    const std::string oemName = "\x99lf\x84sser.txt";  // "Ölfässer.txt" in code page 437
    const std::string pathBlock = zip::UnicodePathBlock(oemName, u8"Ölfässer.txt");
    std::string commentBlock = zip::UnicodePathBlock("\x84", u8"ä");
    larktest::PutU16(commentBlock, 0, zip::kUnicodeCommentExtraId);
    std::string staleBlock = zip::UnicodePathBlock(oemName, u8"Σίσυφος.txt");
    staleBlock[5] ^= 1;  // the CRC, of a stored name changed since
    EntrySpec flagged;
    flagged.name = u8"Straße/ΣΊΣΥΦΟΣ ẞ.txt";
    flagged.comment = u8"Ölfässer";
    flagged.flags = zip::kFlagUtf8;
    EntrySpec blocked;
    blocked.name = oemName;
    blocked.comment = "\x84";
    blocked.extra = pathBlock + commentBlock;
    EntrySpec stale;
    stale.name = "dir/" + oemName;
    stale.extra = staleBlock;
    EntrySpec broken;
    broken.name = "x\xC0\xAF/\xED\xA0\x80\xF4\x90.txt";  // overlong, surrogate, beyond U+10FFFF
    broken.flags = zip::kFlagUtf8;
    Write(folder, "unicode-names.zip",
          ArchiveBuilder().Add(flagged).Add(blocked).Add(stale).Add(broken).Comment(u8"Ölfässer").Bytes());
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
    // Programs whose archive carries ZIP64 records, for the strip walk.
    Write(folder, "zip64-program.exe", ThreeEntries().Zip64Records().Stub(larktest::StubBytes(200), false).Bytes());
    Write(folder, "zip64-program-counted.exe",
          ThreeEntries().Zip64Records().Stub(larktest::StubBytes(200), true).Bytes());
    {
        // Saturated end record, ZIP64 extra fields and 8-byte descriptor sizes.
        EntrySpec streamed;
        streamed.name = "streamed.txt";
        streamed.data = "streamed data";
        streamed.dataDescriptor = streamed.zip64 = true;
        EntrySpec plain;
        plain.name = "plain.txt";
        plain.data = "plain data";
        plain.zip64 = true;
        Write(folder, "zip64-saturated.zip", ArchiveBuilder().Add(streamed).Add(plain).Zip64Saturated().Bytes());
        // Programs whose offsets stand in ZIP64 extra fields, the first entry's among them.
        EntrySpec ordinary;
        ordinary.name = "ordinary.txt";
        ordinary.data = "ordinary data";
        const ArchiveBuilder mixed = ArchiveBuilder().Add(plain).Add(ordinary).Add(streamed).Zip64Saturated();
        for (bool counted : {false, true})
            Write(folder, counted ? "zip64-saturated-program-counted.exe" : "zip64-saturated-program.exe",
                  ArchiveBuilder(mixed).Stub(larktest::StubBytes(200), counted).Bytes());
    }
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
    WriteUnicodeSeeds(folder);
    WriteEngineSeeds(folder);
    return 0;
}
