// Peers judge a span followed by a merge: Info-ZIP's unzip -t and Python's zipfile, on peers' archives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

#else

// Wine runs Windows programs only; the host build runs this test with the peers.
TEST(SpanPeers, MergedSetPassesUnzipAndZipfileWithEveryEntryIdentical) {
    GTEST_SKIP() << "the peer tools (unzip, Python's zipfile) judge spanning in the host build";
}

#endif

}  // namespace
