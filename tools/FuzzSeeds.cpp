// Small seed files for the reader's fuzz target: every record type the
// reader forms IDs for, and the damaged shapes it must survive.
#include <map>

#include "Layouts.h"
#include "MkData.h"
#include "format/LittleEndian.h"
#include "platform/Files.h"

namespace vantor::mkdata {

using records::Name;

CWritten WriteFuzzSeeds(const std::string& dir, const std::vector<std::string>& recordsFrom) {
    CWritten out;
    auto write = [&](const std::string& name, const std::string& bytes) {
        if (!out.m_ok) return;
        out.m_files.push_back(dir + "/" + name);
        if (!WriteFile(out.m_files.back(), bytes, 1020254400, out.m_error)) out.m_ok = false;
    };
    auto plugin = [] {
        CRecordWriter b;
        b.Record("TES3", Header({.m_masters = {"Sample.esm"}, .m_masterSizes = {4096}}));
        return b;
    };

    write("header-only.esp", plugin().Bytes());
    write("empty.esp", "");
    write("three-bytes.esp", "TES");

    {
        CRecordWriter b = plugin();
        b.Record("GMST", GmstInt("iSeed", 3));
        b.Record("SKIL", Skil({.m_index = 4, .m_description = "seed"}));
        b.Record("MGEF", Mgef({.m_index = 142, .m_description = "index byte above 127"}));
        b.Record("SCPT", Scpt({.m_name = "SeedScript", .m_shorts = {"a"}, .m_text = "Begin SeedScript\r\nEnd\r\n"}));
        b.Record("CELL", Cell({.m_name = "Seed Room", .m_flags = 1, .m_refs = {{.m_index = 1, .m_id = "seed_rock"}}}));
        b.Record("CELL", Cell({.m_name = "", .m_x = -2, .m_y = 5}));
        b.Record("LAND", {Sub("INTV", I32(-1) + I32(3)), Sub("DATA", I32(9))});
        b.Record("PGRD", Pgrd({.m_x = -2, .m_y = 5, .m_cellName = "", .m_points = {{0, 0, 0}, {10, 10, 0}}}));
        b.Record("INFO", Info({.m_id = "1", .m_text = "before any topic"}));
        b.Record("DIAL", Dial("Greeting 0", EDialType::Greeting));
        b.Record("INFO", Info({.m_id = "2", .m_next = "3", .m_text = "first"}));
        b.Record("INFO", Info({.m_id = "3", .m_prev = "2", .m_text = "second"}));
        write("every-id-rule.esp", b.Bytes());
    }
    {
        // Deletions in every place editors put DELE.
        CRecordWriter b = plugin();
        b.Record("STAT", {Name("last"), Sub("MODL", Z("a.nif")), Dele()});
        b.Record("STAT", {Dele(), Name("first"), Sub("MODL", Z("b.nif"))});
        b.Record("CELL", Cell({.m_name = "Gone", .m_flags = 1, .m_deleted = true}));
        b.Record("INFO", {Sub("INAM", Z("4")), Sub("PNAM", Z("")), Sub("NNAM", Z("")), Dele()});
        write("deletions.esp", b.Bytes());
    }
    {
        CRecordWriter b = plugin();
        b.Record("MISC", {Name("a")});
        b.Raw("\x01\x02\x03\x04XXXX");
        b.Record("ZZZZ", {Name("unknown tag")});
        b.Record("MISC", {Name("b")});
        write("garbage-between.esp", b.Bytes());
    }
    {
        CRecordWriter b = plugin();
        b.Record("WEAP", {Name("long"), Sub("WPDT", std::string(32, '\x11'))});
        b.Record("WEAP", {Name("cut"), Sub("WPDT", std::string(32, '\x22'))});
        write("truncated.esp", b.Truncate(b.Size() - 20).Bytes());
    }
    {
        CRecordWriter b = plugin();
        b.Record("NPC_", {Name("oversize")}, 0x00FFFFFF);
        write("size-past-end.esp", b.Bytes());
    }
    {
        // The ID subrecords claim more bytes than the record holds.
        CRecordWriter b = plugin();
        b.Record("INFO", {Sub("INAM", Z("5")), {"PNAM", Z(""), 200}, Sub("NNAM", Z(""))});
        b.Record("CELL", {Name("short"), Sub("DATA", "\x01")});
        b.Record("PGRD", {Sub("DATA", "")});
        b.Record("MISC", {{"NAME", Z("x"), 250}});
        b.Record("MISC", {Name("after")});
        write("id-overruns.esp", b.Bytes());
    }
    {
        // A header whose size hides every record: no plugin at all.
        CRecordWriter b = plugin();
        b.Record("MISC", {Name("hidden")});
        std::string bytes = b.Bytes();
        bytes.replace(4, 4, std::string(4, '\xFF'));
        write("header-size-past-end.esp", bytes);
    }
    {
        // A start script whose data begins with zero bytes, a tag with a
        // flipped byte, and the records after each.
        CRecordWriter b = plugin();
        b.RecordData("SSCR", std::string(4, '\0') + "1234");
        b.Record("MISC", {Name("after script")});
        b.Record("MISK", {Name("flipped")});
        b.Record("MISC", {Name("after flip")});
        write("script-zeros-flipped-tag.esp", b.Bytes());
    }
    {
        // The size field's fourth byte is ignored.
        CRecordWriter b = plugin();
        const std::size_t at = b.Size();
        b.Record("STAT", {Name("hi-byte"), Sub("MODL", Z("c.nif"))}, std::nullopt, 0x2000);
        std::string bytes = b.Bytes();
        bytes[at + 7] = '\x7F';
        write("size-high-byte.esp", bytes);
    }

    // Real records, each alone behind a header: a few of every type, none
    // long, so each run of the fuzzer takes a fraction of a millisecond.
    constexpr std::size_t kLongest = 2048, kPerType = 3;
    std::map<std::string, std::size_t> taken;
    for (const std::string& path : recordsFrom) {
        std::string bytes;
        if (!platform::ReadWholeFile(path, bytes)) {
            out.m_ok = false;
            out.m_error = path + ": cannot be read";
            return out;
        }
        for (std::size_t pos = 0; pos + 16 <= bytes.size() && out.m_ok;) {
            const std::string tag = bytes.substr(pos, 4);
            const std::size_t length = 16 + std::size_t(le::U32(bytes, pos + 4));
            if (length > bytes.size() - pos) break;  // damaged from here on
            if (tag != "TES3" && length <= kLongest && taken[tag] < kPerType)
                write("record-" + tag + "-" + std::to_string(++taken[tag]) + ".esp",
                      plugin().Bytes() + bytes.substr(pos, length));
            pos += length;
        }
    }
    return out;
}

}  // namespace vantor::mkdata
