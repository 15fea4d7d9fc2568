#include <gtest/gtest.h>

#include <atomic>
#include <random>

#include "format/PluginFile.h"
#include "format/ScanReference.h"
#include "format/SubRecord.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/TempDir.h"

using namespace vantor;
using namespace vantor::fixtures;
using namespace std::string_literals;

namespace {

struct CRead {
    std::unique_ptr<CPluginFile> m_file = std::make_unique<CPluginFile>();
    const CEntryTable& operator[](const char* tag) const { return *m_file->GetTable(tag); }
};

// The read must succeed (a stop is no failure), unless `fails`.
CRead ReadBytes(const CPluginBuilder& builder, CExtractOpts opts = CExtractOpts::All(), std::int32_t stop = 0,
                bool fails = false) {
    CTempDir dir;
    EXPECT_TRUE(builder.Write(dir / "t.esp"));
    CRead r;
    EXPECT_TRUE(r.m_file->Open("t.esp", dir.Path()));
    EXPECT_NE(r.m_file->ReadRecords(std::atomic<std::int32_t>{stop}, opts), fails);
    r.m_file->Close();
    return r;
}

std::string Data(const CEntry& e) { return std::string(e.Data()); }

}  // namespace

// Damaged sizes: what the splitter gives back is what a reader of the game
// would take, and nothing past the data.
TEST(RecordModel, SubRecordHelpers) {
    CSubRecords subs;
    for (std::size_t n = 0; n < 4; ++n) EXPECT_FALSE(SplitSubRecords(std::string(n, 'A'), subs));
    EXPECT_TRUE(subs.empty());
    // A size claiming more than remains gives a shortened last payload.
    ASSERT_TRUE(SplitSubRecords(SubBytes({Sub("NAME", "ab"), CSub{"DATA", "xyz", 100}}), subs));
    EXPECT_EQ(subs, (CSubRecords{{"NAME", "ab"}, {"DATA", "xyz"}}));
    EXPECT_NE(JoinSubRecords(subs), SubBytes({Sub("NAME", "ab"), CSub{"DATA", "xyz", 100}}));
    // Only the low three size bytes count.
    subs.clear();
    ASSERT_TRUE(SplitSubRecords(SubBytes({CSub{"DATA", "abc", 0x01000003u}, Sub("NEXT", "")}), subs));
    EXPECT_EQ(subs, (CSubRecords{{"DATA", "abc"}, {"NEXT", ""}}));

    EXPECT_TRUE(IsDeletedData(SubBytes({Sub("DATA", "12345"), Dele()})));
    EXPECT_FALSE(IsDeletedData(SubBytes({Dele(), Sub("DATA", "")})));
    EXPECT_TRUE(IsDeletedData("DELE"));  // short data is tested at its start
    EXPECT_FALSE(IsDeletedData(""));
    EXPECT_FALSE(SameBytes("ab\0c"s, "ab\0d"s));
    EXPECT_FALSE(SameBytes("ab"s, "ab\0"s));
}

TEST(RecordScan, StopsWhereAScanOneByteAtATimeStops) {
    std::vector<std::string> cases = {
        "", "TES", "xTES3", std::string(100, '\0') + "STAT", "STAXSTAT", "NPCXNPC_", "MIS" "CELLx",
        "SSCRMASTTES3", "AAAAAAAAAAAAAAAAINFO", "W" "EAP" + std::string(7, 'W') + "WEAP",
    };
    std::mt19937 rng(7);
    const std::string alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZ_3\0\1a", 31);
    for (int round = 0; round < 200; ++round) {
        std::string& bytes = cases.emplace_back(std::size_t(rng() % 300), ' ');
        for (char& c : bytes) c = alphabet[rng() % alphabet.size()];
    }
    for (const std::string& bytes : cases) EXPECT_EQ(FirstScanMismatch(bytes, 1), std::string::npos) << bytes;
}

// Each record alone after a header: the ID the reader forms, whether it is
// deleted, the data left after the ID, and where the record lies.
TEST(Reader, IdsDeletionsAndData) {
    const std::string modl = SubBytes(Sub("MODL", Z("m.nif")));
    const std::string script = Fixed("MyScript", 32) + std::string(20, '\x01');
    struct CCase {
        const char* m_tag;
        std::vector<CSub> m_subs;
        std::string m_id;  // as stored: a NUL ends most
        std::int32_t m_deleted;
        std::string m_data;
    };
    const CCase cases[] = {
        {"MISC", {Name("gold")}, "gold\0"s, 0, ""},
        {"STAT", {Name("rock"), Sub("MODL", Z("m.nif")), Dele()}, "rock\0"s, 1, modl + SubBytes(Dele())},
        {"STAT", {Name("tree"), Dele(), Sub("MODL", Z("m.nif"))}, "tree\0"s, 0, SubBytes(Dele()) + modl},  // not last
        // A DELE before the ID counts; the four letters inside a payload
        // passed over are text, not a subrecord.
        {"STAT", {Dele(), Name("gone"), Sub("MODL", Z("m.nif"))}, "gone\0"s, 1, modl},
        {"STAT", {Sub("MODL", Z("m.nif")), Dele(), Name("gone")}, "gone\0"s, 1, ""},
        {"STAT", {Sub("FNAM", "A DELETED sign"), Name("sign")}, "sign\0"s, 0, ""},
        {"STAT", {Sub("XXXX", "xDELE\4\0\0\0\0\0\0\0"s), Name("sign")}, "sign\0"s, 0, ""},
        {"MGEF", {Sub("INDX", I32(142)), Sub("MEDT", "x")}, "Index -114", 0, SubBytes(Sub("MEDT", "x"))},
        {"SKIL", {Sub("INDX", I32(5))}, "Index 5", 0, ""},
        // The whole script header is the stored ID.
        {"SCPT", {Sub("SCHD", script), Sub("SCTX", "begin")}, script, 0, SubBytes(Sub("SCTX", "begin"))},
        {"CELL", Cell("Vivec", 1, 0, 0), "1,0,0 Vivec\0"s, 0, ""},
        {"CELL", Cell("", 0, -2, 5), "0,-2,5 \0"s, 0, ""},
        {"CELL", Cell("Gone", 1, 0, 0, true), "1,0,0 Gone\0"s, 1, ""},
        // Low 16 bits of 70000; a trailing DELE is not tested for cells.
        {"CELL", {Name("Tail"), Sub("DATA", I32(1) + I32(70000) + I32(3)), Dele()}, "1,4464,3 Tail\0"s, 0,
         SubBytes(Dele())},
        {"LAND", {Sub("INTV", I32(-1) + I32(3)), Sub("VHGT", "h")}, "-1,3", 0, SubBytes(Sub("VHGT", "h"))},
        {"PGRD", {Sub("DATA", I32(-3) + I32(4) + I16(512) + I16(9)), Name("Balmora"), Sub("PGRP", "pp")},
         "-3,4,512 Balmora\0"s, 0, SubBytes(Sub("PGRP", "pp"))},
    };
    const std::size_t at = CPluginBuilder().Header().Size();
    for (const CCase& c : cases) {
        SCOPED_TRACE(std::string(c.m_tag) + " " + std::string(UpToNul(c.m_id)));
        auto r = ReadBytes(CPluginBuilder().Header().Record(c.m_tag, c.m_subs));
        ASSERT_EQ(r.m_file->EntryCount(), 1u);
        ASSERT_EQ(r[c.m_tag].size(), 1u);
        const CEntry& e = *r[c.m_tag][0];
        EXPECT_EQ(e.m_id, c.m_id);
        EXPECT_EQ(e.m_deleted, c.m_deleted);
        EXPECT_EQ(Data(e), c.m_data);
        EXPECT_EQ(e.m_offset, std::int64_t(at));
        EXPECT_EQ(e.m_size, std::int64_t(16 + SubBytes(c.m_subs).size()));
    }
}

// The topic each response belongs to; the data each option keeps or drops,
// and the few bytes kept copied out of the file's buffer when most are
// dropped, so the whole file need not stay in memory for them.
TEST(Reader, TopicsExtractionAndCompaction) {
    CPluginBuilder b;
    b.Header()
        .Record("INFO", Info("orphan", "", "", "hi"))
        .Record("DIAL", {Name("Greeting"), Sub("DATA", "\0"s)})
        .Record("INFO", Info("1", "", "2", "a"))
        .Record("INFO", {Sub("INAM", Z("2")), Sub("PNAM", Z("1")), Sub("NNAM", Z("")), Dele()})
        .Record("DIAL", {Name("Bye"), Sub("DATA", "\0"s)})
        .Record("INFO", Info("3", "", "", "b"))
        .Record("CELL", Cell("c", 1, 0, 0, false, "refs"))
        .Record("LAND", {Sub("INTV", I32(0) + I32(0)), Sub("VHGT", std::string(5000, 'h'))})
        .Record("PGRD", {Sub("DATA", std::string(12, '\0')), Name("p"), Sub("PGRP", "pp")})
        .Record("STAT", {Name("s"), Sub("MODL", Z("m"))});
    auto all = ReadBytes(b);
    auto none = ReadBytes(b, CExtractOpts{0, 0, 0, 0});
    ASSERT_EQ(all["INFO"].size(), 4u);
    ASSERT_EQ(none["INFO"].size(), 4u);
    EXPECT_EQ(*all["INFO"][0]->m_topic, "");
    EXPECT_EQ(*all["INFO"][1]->m_topic, "Greeting");
    EXPECT_EQ(all["INFO"][2]->m_deleted, 1);
    EXPECT_EQ(*all["INFO"][3]->m_topic, "Bye");
    EXPECT_FALSE(all["DIAL"][0]->m_topic.has_value());
    EXPECT_EQ(Data(*all["INFO"][1]), SubBytes({Sub("DATA", std::string(12, '\0')), Sub("NAME", "a")}));
    EXPECT_EQ(all["LAND"][0]->DataLength(), 5008u);

    for (const auto* tag : {"INFO", "CELL", "LAND", "PGRD"})
        for (const auto& e : none[tag]) EXPECT_EQ(e->DataLength(), 0u) << tag;
    EXPECT_EQ(none["INFO"][2]->m_deleted, 1);  // flags, offsets and sizes stay
    EXPECT_EQ(none["INFO"][2]->m_offset, all["INFO"][2]->m_offset);
    EXPECT_EQ(none["INFO"][2]->m_size, all["INFO"][2]->m_size);
    EXPECT_EQ(none["DIAL"][0]->DataLength(), 2u + 8u - 1u);  // other types always keep data
    for (const CRead* r : {&all, &none}) {
        // Taking its own copy moves data still in the shared buffer only.
        CEntry& stat = *(*r)["STAT"].at(0);
        const char* before = stat.Data().data();
        stat.OwnData();
        EXPECT_EQ(stat.Data().data() == before, r == &none) << (r == &all ? "all kept" : "most dropped");
        EXPECT_EQ(Data(stat), SubBytes({Sub("MODL", Z("m"))}));
    }
}

// Junk and unknown records are passed over, a damaged record is skipped and
// told, a file cut anywhere has no entry past its end, a stop is no failure
// and a failed read is told.
TEST(Reader, JunkDamageCutsStopsAndFailures) {
    CPluginBuilder b;
    b.Header({"A.esm", "B.esm"}, 7).Raw("junk").Record("MISC", {Name("a")}).Raw("\x01\x02\x03");
    b.Record("XXXX", {Name("unknown")});  // unknown records are scanned past byte by byte
    // A start script record is passed over whole: the record its payload
    // happens to hold is no record of the file.
    b.RecordData("SSCR", CPluginBuilder().Record("MISC", {Name("inside")}).Bytes());
    b.Record("NPC_", {Name("npc"), Sub("FNAM", Z("Someone")), Sub("NPDT", std::string(52, '\x07'))});
    b.Record("CELL", Cell("x", 1, 2, 3)).Record("MISC", {Name("b")}).Raw("MIS");
    auto r = ReadBytes(b);
    ASSERT_EQ(r["MISC"].size(), 2u);
    EXPECT_EQ(r["MISC"][1]->IdText(), "b");
    EXPECT_EQ(r.m_file->EntryCount(), 4u);
    // The header comes from the same read as the records.
    EXPECT_EQ(r.m_file->HeaderMasters(), (std::vector<std::string>{"A.esm", "B.esm"}));
    EXPECT_EQ(r.m_file->HeaderRecordCount(), 7u);
    for (std::size_t cut = 0; cut <= b.Size(); ++cut) {
        CPluginBuilder t = b;
        t.Truncate(cut);
        auto tr = ReadBytes(t);
        for (std::size_t i = 0; i < CPluginFile::kTableCount; ++i)
            for (const auto& e : tr.m_file->Table(i)) EXPECT_LE(std::size_t(e->m_offset + e->m_size), cut) << cut;
    }

    // A record without its ID subrecord, an ID payload reaching past the
    // record, a size asking for far more than the file holds: the record is
    // skipped, and the good one after it is found.
    const std::pair<std::vector<CSub>, std::optional<std::uint32_t>> bad[] = {
        {{Sub("MODL", Z("rock.nif")), Sub("DATA", "xxxxxxxx")}, std::nullopt},
        {{CSub{"NAME", "abc", 200}}, std::nullopt},
        {{Name("big")}, 0xFFFFFF},
    };
    for (const auto& [subs, size] : bad) {
        r = ReadBytes(CPluginBuilder().Header().Record("STAT", subs, size).Record("MISC", {Name("found")}));
        EXPECT_TRUE(r["STAT"].empty());
        ASSERT_EQ(r["MISC"].size(), 1u);
        EXPECT_EQ(r["MISC"][0]->IdText(), "found");
        EXPECT_EQ(r.m_file->Diagnostic().m_kind, CReadDiagnostic::EKind::Damaged);
    }

    EXPECT_TRUE(ReadBytes(b, CExtractOpts::All(), 1)["MISC"].empty());
    struct CHookReset {  // takes the hook away however the test ends
        ~CHookReset() { platform::SetFaultHook(nullptr); }
    } reset;
    platform::SetFaultHook([](platform::EFileOp op, const std::string&) { return op == platform::EFileOp::Read; });
    r = ReadBytes(b, CExtractOpts::All(), 0, true);
    EXPECT_EQ(r.m_file->Diagnostic().m_kind, CReadDiagnostic::EKind::ReadFailed);
}
