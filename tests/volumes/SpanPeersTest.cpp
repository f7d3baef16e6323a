// Peers judge a span followed by a merge: Info-ZIP's unzip -t and Python's zipfile, on peers' archives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/volumes/FloppySet.h"

namespace {

#ifndef _WIN32

class SpanPeers : public larktest::FloppyTest {
protected:
    // Runs the peer script with `arguments`; its exit code.
    static int Peers(const std::string& arguments) {
        const std::string command = std::string("'") + LARK_PYTHON + "' '" + LARK_SPAN_PEERS + "' " + arguments;
        return std::system(command.c_str());
    }
    std::string Quoted(const std::string& name) const { return "'" + folder.NativePath(name) + "'"; }
};

TEST_F(SpanPeers, MergedSetPassesUnzipAndZipfileWithEveryEntryIdentical) {
    ASSERT_EQ(Peers("make " + Quoted("made")), 0);
    for (const std::string name : {"zipfile.zip", "streamed.zip", "infozip.zip"}) {
        SCOPED_TRACE(name);
        floppies.clear();
        OpenSource(folder.Read("made/" + name));
        const larktest::WrittenSet written = SpanToFreshFloppies(262144);
        ASSERT_GE(written.parts.size(), 8u);
        for (size_t k = 0; k + 1 < written.parts.size(); ++k) EXPECT_LE(written.parts[k].size(), 262144u);
        EXPECT_LE(written.parts.back().size(), 262144u + zip.EndOfCentral().EndRecord.CommentLength());

        TZip set;
        ASSERT_TRUE(MergeSet(set, folder.Path("merged-" + name)));
        EXPECT_EQ(Peers("check " + Quoted("made/" + name) + " " + Quoted("merged-" + name)), 0);
    }
}

// Info-ZIP's split set with ZIP64 records and fields (`zip -s -fz`): merged, it holds the tree that
// Info-ZIP zipped whole.
TEST_F(SpanPeers, MergedZip64SplitSetPassesUnzipAndZipfile) {
    ASSERT_EQ(Peers("make " + Quoted("made")), 0);
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder.NativePath("made/split")))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());  // set.z01 ... set.zNN, then set.zip
    ASSERT_GE(names.size(), 8u);
    std::vector<std::string> parts;
    for (const std::string& name : names) parts.push_back(folder.Read("made/split/" + name));
    PutSetOnFloppies(parts);

    TZip set;
    ASSERT_TRUE(MergeSet(set, folder.Path("merged-split.zip")));
    EXPECT_EQ(Peers("check " + Quoted("made/infozip.zip") + " " + Quoted("merged-split.zip")), 0);
}

#else

// Wine runs Windows programs only; the host build runs this test with the peers.
TEST(SpanPeers, MergedSetPassesUnzipAndZipfileWithEveryEntryIdentical) {
    GTEST_SKIP() << "the peer tools (unzip, Python's zipfile) judge spanning in the host build";
}

#endif

}  // namespace
