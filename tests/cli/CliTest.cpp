// The vantor command line as a user runs it, on a copy of the bundled sample set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif

#include "document/Options.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/System.h"
#include "fixtures/TempDir.h"
#include "MkData.h"
#include "platform/Files.h"

namespace fs = std::filesystem;
using namespace vantor::fixtures;

namespace {

// Runs vantor in `dir` with no terminal on stdin; stderr goes to a file.
CProgramRun Vantor(const std::string& dir, const std::string& args) {
    return RunProgram(VANTOR_CLI, args, dir, dir + "stderr.txt");
}

const std::string kArmory = "'game/Data Files/Sample Armory.esp'";
const std::string kPlugins = kArmory + " 'game/Data Files/Sample Tweaks.esp'";

// A game folder, with a copy of the sample set or empty, for files written
// by the test. The plugins' times are in load order (git does not keep them).
struct CGame {
    CTempDir m_dir;
    std::string m_data = m_dir.Path() + "game/Data Files/";
    explicit CGame(bool samples = true) {
        fs::create_directories(m_data);
        if (!samples) return;
        const fs::path examples = fs::path(VANTOR_SOURCE_DIR) / "examples";
        int i = 0;
        for (const char* name : {"Sample.esm", "Sample Armory.esp", "Sample Quests.esp", "Sample Tweaks.esp"}) {
            fs::copy_file(examples / "Data Files" / name, m_data + name);
            fs::last_write_time(m_data + name, fs::file_time_type::clock::now() - std::chrono::hours(10 - i++));
        }
        fs::copy_file(examples / "Morrowind.ini", m_dir.Path() + "game/Morrowind.ini");
    }
    std::string Put(const std::string& name, const CPluginBuilder& b, int hoursAgo) {
        EXPECT_TRUE(b.Write(m_data + name));
        fs::last_write_time(vantor::platform::FsPath(m_data + name),
                            fs::file_time_type::clock::now() - std::chrono::hours(hoursAgo));
        return m_data + name;
    }
    CProgramRun Run(const std::string& args) const {
        return Vantor(m_dir.Path(), args + " --install-dir game --settings vantor.ini");
    }
    std::string Err() const { return ReadText(m_dir / "stderr.txt"); }
};

// A JSON value read back from what a command printed; a text that is not
// well-formed JSON (or has anything after its value) reads as nothing.
struct CJson {
    enum class EKind { Null, Bool, Number, String, Array, Object } m_kind = EKind::Null;
    std::string m_text;  // a string's UTF-8, a number's digits, "true"/"false"
    std::vector<CJson> m_items;
    std::vector<std::pair<std::string, CJson>> m_members;
    const CJson& operator[](const std::string& key) const {
        static const CJson none;
        for (const auto& [k, v] : m_members)
            if (k == key) return v;
        return none;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const CJson& item : m_items) texts.push_back(item.m_text);
        return texts;
    }
};

class CJsonReader {
public:
    static std::optional<CJson> Read(std::string_view text) {
        CJsonReader r{text};
        auto value = r.Value();
        r.Blanks();
        if (!value || r.m_at != text.size()) return std::nullopt;
        return value;
    }

private:
    explicit CJsonReader(std::string_view text) : m_text(text) {}
    void Blanks() {
        while (m_at < m_text.size() && std::string_view(" \t\r\n").find(m_text[m_at]) != std::string_view::npos) ++m_at;
    }
    bool Take(char c) {
        Blanks();
        if (m_at >= m_text.size() || m_text[m_at] != c) return false;
        ++m_at;
        return true;
    }
    std::optional<std::string> String() {
        if (!Take('"')) return std::nullopt;
        std::string out;
        while (m_at < m_text.size() && m_text[m_at] != '"') {
            const char c = m_text[m_at++];
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size()) return std::nullopt;
            const char e = m_text[m_at++];
            const std::string_view simple = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
            if (const auto k = simple.find(e); k != std::string_view::npos) {
                out += meant[k];
            } else if (e == 'u' && m_at + 4 <= m_text.size()) {
                out += "\\u" + std::string(m_text.substr(m_at, 4));  // kept as written
                m_at += 4;
            } else {
                return std::nullopt;
            }
        }
        if (!Take('"')) return std::nullopt;
        return out;
    }
    std::optional<CJson> Value() {
        Blanks();
        if (m_at >= m_text.size()) return std::nullopt;
        CJson v;
        const char c = m_text[m_at];
        if (c == '"') {
            auto s = String();
            if (!s) return std::nullopt;
            v.m_kind = CJson::EKind::String;
            v.m_text = *s;
        } else if (c == '[' || c == '{') {
            const bool object = c == '{';
            v.m_kind = object ? CJson::EKind::Object : CJson::EKind::Array;
            ++m_at;
            if (Take(object ? '}' : ']')) return v;
            do {
                std::string key;
                if (object) {
                    auto k = String();
                    if (!k || !Take(':')) return std::nullopt;
                    key = *k;
                }
                auto item = Value();
                if (!item) return std::nullopt;
                if (object)
                    v.m_members.emplace_back(key, *item);
                else
                    v.m_items.push_back(*item);
            } while (Take(','));
            if (!Take(object ? '}' : ']')) return std::nullopt;
        } else {
            for (std::string_view word : {"true", "false", "null"})
                if (m_text.substr(m_at, word.size()) == word) {
                    m_at += word.size();
                    v.m_kind = word == "null" ? CJson::EKind::Null : CJson::EKind::Bool;
                    v.m_text = std::string(word);
                    return v;
                }
            const std::size_t start = m_at;
            while (m_at < m_text.size() && std::string_view("-+.eE0123456789").find(m_text[m_at]) != std::string_view::npos)
                ++m_at;
            if (m_at == start) return std::nullopt;
            v.m_kind = CJson::EKind::Number;
            v.m_text = std::string(m_text.substr(start, m_at - start));
        }
        return v;
    }
    std::string_view m_text;
    std::size_t m_at = 0;
};

}  // namespace

TEST(Cli, CleanAndCleanCellsAskAndKeepBackups) {
    CGame game;
    EXPECT_EQ(game.Run("active").m_out, "Sample Armory.esp\nSample Quests.esp\nSample Tweaks.esp\n");
    auto extract = game.Run("extract " + kPlugins);
    EXPECT_EQ(extract.m_exit, 0) << game.Err();
    EXPECT_NE(extract.m_out.find("plugin Sample Armory.esp:"), std::string::npos);
    EXPECT_NE(extract.m_out.find("master Sample.esm:"), std::string::npos);

    const std::string armory = game.m_data + "Sample Armory.esp", backup = game.m_data + "Sample Armory.OLD";
    const std::string before = ReadText(armory);
    const auto mtime = vantor::platform::LastWriteTime(armory);
    const std::string one = " " + kArmory;

    // Nobody to ask: the confirmation is declined, nothing changes.
    EXPECT_EQ(game.Run("clean" + one).m_exit, 1);
    EXPECT_EQ(ReadText(armory), before);
    EXPECT_FALSE(fs::exists(backup));

    EXPECT_EQ(game.Run("clean --yes" + one).m_exit, 0) << game.Err();
    EXPECT_EQ(ReadText(backup), before);
    EXPECT_LT(ReadText(armory).size(), before.size());
    EXPECT_EQ(vantor::platform::LastWriteTime(armory), mtime);

    // An older backup is never overwritten nor taken without being told; a
    // clean that failed says how much of it was done.
    std::ofstream(armory, std::ios::binary | std::ios::trunc) << before;
    EXPECT_EQ(game.Run("clean --yes" + one).m_exit, 1);
    EXPECT_NE(game.Err().find("vantor: 0 of "), std::string::npos) << game.Err();
    EXPECT_EQ(ReadText(armory), before);
    EXPECT_EQ(ReadText(backup), before);
    EXPECT_EQ(game.Run("clean --yes --backup-name 'game/Data Files/Armory 2.OLD'" + one).m_exit, 0) << game.Err();
    EXPECT_EQ(ReadText(game.m_data + "Armory 2.OLD"), before);
    EXPECT_LT(ReadText(armory).size(), before.size());

    // A backup name that is taken is never replaced, not even one given on
    // the command line, and a plugin is never accepted as its own backup.
    const std::string master = ReadText(game.m_data + "Sample.esm");
    std::ofstream(armory, std::ios::binary | std::ios::trunc) << before;
    EXPECT_EQ(game.Run("clean --yes --backup-name 'game/Data Files/Sample.esm'" + one).m_exit, 1);
    EXPECT_EQ(ReadText(game.m_data + "Sample.esm"), master);
    EXPECT_EQ(ReadText(armory), before);
    // Nor is a case twin of a plugin made: the game and Windows see one file.
    EXPECT_EQ(game.Run("clean --yes --backup-name 'game/Data Files/SAMPLE TWEAKS.ESP'" + one).m_exit, 1);
    EXPECT_FALSE(vantor::platform::ResolvePath(game.m_data + "SAMPLE TWEAKS.ESP") != game.m_data + "Sample Tweaks.esp");
    EXPECT_EQ(ReadText(armory), before);
    std::ofstream(game.m_data + "Armory.OLD", std::ios::binary) << before;
    EXPECT_EQ(game.Run("delete --yes --accept-existing-backup 'game/Data Files/Armory.OLD' WEAP x").m_exit, 1);
    EXPECT_EQ(ReadText(game.m_data + "Armory.OLD"), before);

    // Clean Cells lists before it asks, changes nothing on a dry run or
    // without an answer, keeps backups as clean does, and ends by what it did.
    EXPECT_TRUE(game.Run("clean-cells --dry-run --format json" + one).m_out.starts_with("{\"list\":\"Cells\""));
    EXPECT_NE(game.Err().find("1 cell to clean: 0 duplicate references, 2 redundant settings, 0 junk cells"),
              std::string::npos) << game.Err();
    const auto declined = game.Run("clean-cells" + one);
    EXPECT_EQ(declined.m_exit, 1);
    EXPECT_NE(declined.m_out.find("Redundant Ambient Light"), std::string::npos);  // listed before the question
    EXPECT_EQ(game.Run("clean-cells --yes" + one).m_exit, 1);  // the backup name is taken
    EXPECT_EQ(ReadText(armory), before);
    const auto cleaned = game.Run("clean-cells --yes --backup-name Kept.OLD" + one);
    EXPECT_EQ(cleaned.m_exit, 0) << game.Err();
    EXPECT_NE(cleaned.m_out.find("1 cell cleaned, backup Kept.OLD\n"), std::string::npos) << cleaned.m_out;
    EXPECT_EQ(ReadText(game.m_dir / "Kept.OLD"), before);
    const std::string after = ReadText(armory);
    EXPECT_LT(after.size(), before.size());
    EXPECT_EQ(game.Run("clean-cells --yes" + one).m_exit, 0);  // nothing left to clean
    EXPECT_EQ(ReadText(armory), after);
    // Sample Tweaks.esp names Sample Armory.esp as a master: a plugin loaded
    // beside it serves as one.
    EXPECT_EQ(game.Run("clean-cells --dry-run " + kPlugins).m_exit, 0);
    EXPECT_EQ(game.Err(), "");
}

// 0 when everything asked was done, 1 when anything failed, was refused or
// was left undone, 2 for a usage error; warnings alone never change it. IDs
// on the command line are the terminal's UTF-8 and become the game's
// Windows-1252; file names are used and printed as the file system has them.
TEST(Cli, ExitStatusFollowsWhatWasDoneAndShowPrintsOneEntry) {
    CGame game(false);
    CPluginBuilder master, plugin;
    master.Header().Record("MISC", {Name("rock"), Sub("DATA", I32(1))});
    // A response chain the newer master cannot follow: m2 names m7 before it.
    master.Record("DIAL", {Name("T"), Sub("DATA", std::string(1, '\0'))})
        .Record("INFO", Info("m1", "", "m9", "one"))
        .Record("INFO", Info("m2", "m7", "", "two"));
    game.Put("Base.esm", master, 10);
    plugin.Header({"Base.esm"}).Record("MISC", {Name("rock"), Sub("DATA", I32(1))});
    plugin.Record("MISC", {Name("Caf\xE9 rock"), Sub("DATA", I32(1))});
    plugin.Record("MISC", {Name("hex"), Sub("DATA", I32(-1))});
    plugin.Record("MISC", {Name("a \"b\",\nc"), Sub("DATA", I32(1))});
    plugin.Record("DIAL", {Name("T"), Sub("DATA", std::string(1, '\0'))}).Record("INFO", Info("p", "m2", "", "P"));
    plugin.Record("NPC_", {Name("B\xE9la"), Sub("FNAM", Z("Bela")), Sub("INTV", I32(-1)),
                           Sub("NPCO", I32(2) + Fixed("gold_001", 32))});
    plugin.Record("DIAL", {Name("Greeting"), Sub("DATA", std::string(1, '\0'))})
        .Record("INFO", Info("1", "", "", "Well met.\nWhat now?"));
    const std::string path = game.Put("Café.esp", plugin, 5);
    const std::string mod = " 'game/Data Files/Café.esp'";

    // The repair plugin is written with the warning shown: done.
    auto warned = game.Run("relink --yes --output Repair.esp" + mod);
    EXPECT_EQ(warned.m_exit, 0) << game.Err();
    EXPECT_NE(game.Err().find("warning: Warning: Dialog May Be Out of Order"), std::string::npos) << game.Err();
    EXPECT_EQ(warned.m_out, "repair plugin written: Repair.esp\n");

    // A plugin that cannot be read beside one that can: the check runs, and
    // the run has failed.
    const auto partly = game.Run("check" + mod + " 'game/Data Files/Gone.esp'");
    EXPECT_EQ(partly.m_exit, 1);
    EXPECT_NE(partly.m_out.find("Conflicts (0)"), std::string::npos) << partly.m_out;
    EXPECT_NE(game.Err().find("could not read game/Data Files/Gone.esp"), std::string::npos) << game.Err();

    // A plugin that cannot be read: nothing says the repair plugin was written
    // (the old one stays, as the merge's own test shows).
    auto unread = game.Run("relink --yes --output Repair.esp" + mod + " 'game/Data Files/Gone.esp'");
    EXPECT_EQ(unread.m_exit, 1);
    EXPECT_EQ(unread.m_out, "");
    EXPECT_NE(game.Err().find("no repair plugin was written"), std::string::npos) << game.Err();

    // Plugins are cleaned only when named, or with --active.
    const std::vector<std::string> usage{"check --format xml", "no-such-command", "show --yes", "show" + mod + " ROC x",
                                         "delete --yes" + mod + " XYZ x", "relink --output Repair.esp",
                                         "clean --yes", "clean-cells --yes"};
    for (const std::string& args : usage) EXPECT_EQ(game.Run(args).m_exit, 2) << args << "\n" << game.Err();
    // An output that names no file is said to be so.
    for (const std::string output : {"''", "game/"}) {
        EXPECT_EQ(game.Run("relink --output " + output + mod).m_exit, 2) << output;
        EXPECT_NE(game.Err().find("--output must name the repair plugin's file, not "), std::string::npos) << game.Err();
    }
    // The working file a killed run left beside the repair plugin goes.
    std::ofstream(game.m_dir / ".vantor-999999996-abcdefghijkl.tmp") << "half a plugin";
    EXPECT_EQ(game.Run("relink --yes --accept-existing-backup --output Repair.esp" + mod).m_exit, 0) << game.Err();
    EXPECT_FALSE(fs::exists(game.m_dir / ".vantor-999999996-abcdefghijkl.tmp"));
    EXPECT_EQ(game.Run("check --help").m_exit, 0);

    const auto list = game.Run("list --file Café.esp" + mod);
    EXPECT_NE(list.m_out.find("MISC  Misc. Items Entry  Café rock  Café.esp"), std::string::npos) << list.m_out;
    // csv quotes a cell holding a comma, a quote or a line break and doubles
    // its quotes; the log's format joins the cells as they are.
    const std::string row = "MISC,Misc. Items Entry,";
    EXPECT_NE(game.Run("list --format csv" + mod).m_out.find(row + "\"a \"\"b\"\",\nc\",Caf"), std::string::npos);
    EXPECT_NE(game.Run("list --format log" + mod).m_out.find(row + "a \"b\",\nc,Caf"), std::string::npos);
    const auto deleted = game.Run("delete --yes --accept-existing-backup" + mod + " MISC 'Café rock'");
    EXPECT_EQ(deleted.m_exit, 0) << game.Err();
    EXPECT_EQ(deleted.m_out, "deleted MISC Café rock from Café.esp\n");
    EXPECT_EQ(ReadText(path).find("Caf\xE9 rock"), std::string::npos);

    // show prints the editor's rows or the hex dump of one entry, whole even
    // with settings that keep no dialogue text.
    vantor::COptionSet options;
    options.m_extractOpts.m_dialogText = 0;
    ASSERT_TRUE(options.Save(game.m_dir / "vantor.ini"));
    const std::string npc =
        "Café.esp - Béla (3)\n"
        "ID    Data          Type   Bytes\n"
        "FNAM  Bela          Ascii  5\n"
        "INTV  -1            Dec    4\n"
        "NPCO  2 = gold_001  Mixed  36\n";
    const struct {
        std::string m_args;
        int m_status;
        std::string m_out;
    } shown[] = {
        // The ID typed in UTF-8 finds the entry whose ID is Windows-1252.
        {"NPC_ 'Béla'", 0, npc},
        // Bytes that are not UTF-8 are taken as given: Windows-1252 already.
        {"NPC_ 'B\xE9la'", 0, npc},
        // A line break inside a text stays on its row; the tag is found in any case.
        {"info 1", 0,
         "Café.esp - 1 (2)\n"
         "ID    Data                      Type   Bytes\n"
         "DATA  000000000000000000000000  Hex    12\n"
         "NAME  Well met.\\nWhat now?      Ascii  19\n"},
        // The ID subrecord is not part of the dump.
        {"misc hex --hex", 0,
         "Café.esp - hex (12 bytes)\n"
         "00000000  44 41 54 41 04 00 00 00 FF FF FF FF              DATA....ÿÿÿÿ\n"},
        {"NPC_ nobody", 1, "vantor: no NPC_ entry \"nobody\" in Café.esp\n"},
        {"TES3 x", 2, "vantor: TES3 is not a record type that has entries\n"},
    };
    for (const auto& c : shown) {
        SCOPED_TRACE(c.m_args);
        const CProgramRun run = game.Run("show" + mod + " " + c.m_args);
        EXPECT_EQ(run.m_exit, c.m_status);
        EXPECT_EQ(run.m_out + game.Err(), c.m_out);
    }
    const std::string json = game.Run("show" + mod + " NPC_ 'Béla' --format json").m_out;
    EXPECT_NE(json.find(R"({"ID":"NPCO","Data":"2 = gold_001","Type":"Mixed","Bytes":"36"})"), std::string::npos)
        << json;
}

// A plugin named twice, once through a link, is one file: its clean deletes
// its unclean records once and nothing else (its records are all GLOBs of one
// size, so the old offsets of a second copy would find its own records).
TEST(Cli, APluginNamedTwiceIsChangedOnce) {
#ifdef _WIN32
    GTEST_SKIP() << "links need a privilege on Windows";
#else
    CGame game(false);
    auto glob = [](const std::string& id, float value) {
        return std::vector<CSub>{Name(id), Sub("FNAM", "f"), Sub("FLTV", F32(value))};
    };
    CPluginBuilder base, plugin;
    base.Header().Record("GLOB", glob("g1", 1)).Record("GLOB", glob("g2", 2));
    game.Put("Base.esm", base, 10);
    plugin.Header({"Base.esm"}).Record("GLOB", glob("g1", 1)).Record("GLOB", glob("o1", 5)).Record("GLOB", glob("o2", 6));
    const std::string path = game.Put("P.esp", plugin, 5);
    ASSERT_EQ(::symlink(path.c_str(), (game.m_data + "Link.esp").c_str()), 0);
    const auto run = game.Run("clean --yes 'game/Data Files/P.esp' 'game/Data Files/Link.esp'");
    EXPECT_EQ(run.m_exit, 0) << game.Err();
    EXPECT_EQ(run.m_out, "P.esp: 1 unclean entry deleted, backup game/Data Files/P.OLD\n");
    EXPECT_EQ(ReadText(path),
              CPluginBuilder().Header({"Base.esm"}, 2).Record("GLOB", glob("o1", 5)).Record("GLOB", glob("o2", 6)).Bytes());
#endif
}

// The settings file is an output like any other: never a plugin or master
// the run reads (in any case of its name), never a file that is not lines of
// text; and settings that cannot be written are told, with status 1.
TEST(Cli, TheSettingsFileIsAnOutputLikeAnyOther) {
    CGame game;
    const std::string quests = game.m_data + "Sample Quests.esp", bytes = ReadText(quests);
    const auto mtime = vantor::platform::LastWriteTime(quests);
    const std::string check = "check --all --install-dir game 'game/Data Files/Sample Quests.esp' --settings ";
    const std::pair<std::string, std::string> refused[] = {
        {"'game/Data Files/Sample Quests.esp'", "is a plugin or master in use"},
        {"'game/Data Files/SAMPLE QUESTS.ESP'", "is a plugin or master in use"},
        {"'game/Data Files/Sample.esm'", "is not a settings file"},
    };
    for (const auto& [settings, why] : refused) {
        const auto r = Vantor(game.m_dir.Path(), check + settings);
        EXPECT_EQ(r.m_exit, 1) << settings;
        EXPECT_EQ(r.m_out, "");
        EXPECT_NE(game.Err().find("the settings file " + settings.substr(1, settings.size() - 2) + " " + why),
                  std::string::npos)
            << game.Err();
    }
    EXPECT_EQ(ReadText(quests), bytes);
    EXPECT_EQ(vantor::platform::LastWriteTime(quests), mtime);
    EXPECT_EQ(vantor::platform::ListFolder(game.m_data).size(), 4u);  // no backup, no working file

    // Read-only, with keys to add: the check is done, the settings are not.
    std::ofstream(game.m_dir / "ro.ini", std::ios::binary) << "[Options]\r\n";
    ASSERT_TRUE(SetMode(game.m_dir / "ro.ini", 0444));
    const auto unsaved = Vantor(game.m_dir.Path(), check + "ro.ini");
    EXPECT_EQ(unsaved.m_exit, 1);
    EXPECT_NE(unsaved.m_out.find("Conflicts"), std::string::npos);
    EXPECT_NE(game.Err().find("vantor: the settings could not be written to ro.ini"), std::string::npos) << game.Err();
    EXPECT_EQ(ReadText(game.m_dir / "ro.ini"), "[Options]\r\n");
    EXPECT_EQ(Vantor(game.m_dir.Path(), check + "new.ini").m_exit, 0) << game.Err();
}

// No output ever lands on a file in use, a device or a FIFO, nor replaces a
// file unasked; a plugin it replaces is backed up first. Special files given
// as input are named and passed over, never read nor waited on.
TEST(Cli, OutputsNeverTakeFilesInUseNorReplaceUnasked) {
    CGame game;
    const std::string check = "check --all " + kPlugins + " --log ";
    const std::string master = ReadText(game.m_data + "Sample.esm");
    std::vector<std::pair<std::string, std::string>> refused{
        {"'game/Data Files/Sample.esm'", "Sample.esm is a plugin or master in use."},
        {"'game/Data Files/Sample Tweaks.esp'", "Sample Tweaks.esp is a plugin or master in use."}};
#ifdef _WIN32
    refused.push_back({"NUL", "NUL is a device."});  // Windows has no FIFOs
#else
    ASSERT_EQ(::mkfifo((game.m_dir / "fifo").c_str(), 0644), 0);
    refused.push_back({"/dev/null", "/dev/null is a device."});
    refused.push_back({"fifo", "fifo is a FIFO."});
#endif
    for (const auto& [log, why] : refused) {
        EXPECT_EQ(game.Run(check + log).m_exit, 1) << log;
        EXPECT_NE(game.Err().find(why), std::string::npos) << game.Err();
    }
    EXPECT_EQ(ReadText(game.m_data + "Sample.esm"), master);

    // An existing log is replaced with --yes only, never without a terminal;
    // the log is what --format log prints (its layout is the document's),
    // where csv quotes a cell that holds a comma.
    std::ofstream(game.m_dir / "log.txt") << "keep me";
    EXPECT_EQ(game.Run(check + "log.txt").m_exit, 1);
    EXPECT_EQ(ReadText(game.m_dir / "log.txt"), "keep me");
    auto agreed = game.Run(check + "log.txt --yes --format log");
    EXPECT_EQ(agreed.m_exit, 0) << game.Err();
    EXPECT_EQ(ReadText(game.m_dir / "log.txt"), agreed.m_out);
    EXPECT_EQ(agreed.m_out.rfind("ID,Conflict,Name,Overriding Esp File,Esp File,Original File\r\n", 0), 0u);
    EXPECT_NE(agreed.m_out.find(",1,0,0 Sample Cellar,"), std::string::npos) << agreed.m_out;
    const std::string kept = game.Run(check + "log.txt --yes --format csv").m_out;
    EXPECT_NE(kept.find(",\"1,0,0 Sample Cellar\","), std::string::npos);
    // Without a log the conflicts are written as they are found, to the byte
    // as the kept list is.
    EXPECT_EQ(game.Run("check --all " + kPlugins + " --format csv").m_out, kept);

    // An existing plugin as the repair plugin: refused unasked, backed up
    // before it is replaced with --yes.
    const std::string quests = game.m_data + "Sample Quests.esp", questsBytes = ReadText(quests);
    const std::string relink = "relink " + kPlugins + " --output 'game/Data Files/Sample Quests.esp'";
    EXPECT_EQ(game.Run(relink).m_exit, 1);
    EXPECT_EQ(ReadText(quests), questsBytes);
    EXPECT_EQ(game.Run(relink + " --yes").m_exit, 0) << game.Err();
    EXPECT_EQ(ReadText(game.m_data + "Sample Quests.OLD"), questsBytes);
    EXPECT_NE(ReadText(quests).find("VANTOR Dialog Merge File"), std::string::npos);

#ifndef _WIN32  // no FIFOs
    // A FIFO as settings file and as master, a folder as plugin or as
    // settings file: the real plugin is still checked, and the run fails.
    ASSERT_EQ(::mkfifo((game.m_dir / "fifo.ini").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((game.m_data + "Fifo.esm").c_str(), 0644), 0);
    fs::create_directories(game.m_data + "Folder.esp");
    fs::create_directories(game.m_dir / "dir.ini");
    const std::pair<std::string, std::vector<std::string>> inputs[] = {
        {"--settings fifo.ini --single-versus 'game/Data Files/Fifo.esm' 'game/Data Files/Folder.esp'",
         {"fifo.ini\nNot a regular file but a FIFO", "Fifo.esm\nNot a regular file but a FIFO",
          "Folder.esp\nNot a regular file but a folder"}},
        {"--settings dir.ini", {"dir.ini\nNot a regular file but a folder"}},
    };
    for (const auto& [args, named] : inputs) {
        const auto r = Vantor(game.m_dir.Path(), "check --all --install-dir game " + args + " " + kArmory);
        EXPECT_EQ(r.m_exit, 1) << args;
        EXPECT_NE(r.m_out.find("sample_goblet"), std::string::npos) << r.m_out;
        for (const std::string& name : named) EXPECT_NE(game.Err().find(name), std::string::npos) << name << game.Err();
    }
    EXPECT_TRUE(fs::is_directory(game.m_dir / "dir.ini"));
#endif
}

TEST(Cli, OpenMWLoadOrderFromItsConfigurationChain) {
    CTempDir dir;
    const std::string ex = dir.Path() + "ex/";
    fs::copy(fs::path(VANTOR_SOURCE_DIR) / "examples", ex, fs::copy_options::recursive);
    // The patch is the newest file, but loads before the tweaks.
    fs::last_write_time(ex + "Mods/Sample Patch/Sample Patch.omwaddon", fs::file_time_type::clock::now());
    std::ofstream(dir / "partial.cfg") << "data=\"ex/Data Files\"\ncontent=Sample.esm\ncontent=Gone.esp\n";
    std::ofstream(dir / "twice.cfg") << "data=\"ex/Data Files\"\ncontent=Sample.esm\ncontent=sample.esm\ncontent=Sample Tweaks.esp\n";
    const std::string twice = dir.Path() + "twice.cfg line 3: the content file sample.esm is named again (first at line 2)";
    const std::string err = dir / "stderr.txt";
    const struct {
        std::string m_args;
        int m_exit;
        std::string m_out, m_err;
    } cases[] = {
        {"check --all --format csv --openmw-config ex/openmw.cfg", 0,
         "NPC_,NPC Entry,sample_trader,Sample Tweaks.esp,Sample Patch.omwaddon,Sample.esm", ""},
        {"active --openmw-config ex", 0, "Sample Patch.omwaddon  " + ex + "Mods/Sample Patch/\nSample Tweaks.esp", ""},
        {"where --openmw-config ex", 0,
         "data folders, highest priority first:\n  " + ex + "Mods/Sample Patch/ from " + ex + "openmw.cfg line 4\n  " +
             ex + "Data Files/ from " + ex + "openmw.cfg line 3\n",
         ""},
        // A content file named twice stops OpenMW: an error, and the first is used.
        {"check --openmw-config twice.cfg", 0, "Conflicts (0)", twice},
        {"where --openmw-config twice.cfg", 1, "load order:\n  Sample.esm         " + ex + "Data Files/\n  Sample Tweaks.esp", twice},
        // A bare name is the load order's file of that name, wherever it lies.
        {"show --openmw-config ex 'Sample Patch.omwaddon' NPC_ sample_trader", 0, "Ulvena Dravil", ""},
        // The merged patch loads last through the line the user adds.
        {"merge --openmw-config ex -o Patch.esp", 0, "at the end of the content list in openmw.cfg:\ncontent=Patch.esp\n", ""},
        // No plugin to check: said, and nothing was done.
        {"check --openmw-config partial.cfg", 1, "Conflicts (0)", "Gone.esp"},
        {"check --openmw-config none.cfg", 1, "", "cannot read the OpenMW configuration " + dir.Path() + "none.cfg"},
        {"active --openmw-config ex/Mods", 1, "", "ex/Mods/openmw.cfg: there is no such file"},
        {"check --openmw --install-dir ex", 2, "", "excludes"},
    };
    for (const auto& c : cases) {
        const CProgramRun r = Vantor(dir.Path(), c.m_args);
        EXPECT_EQ(r.m_exit, c.m_exit) << c.m_args << "\n" << ReadText(err);
        EXPECT_NE(r.m_out.find(c.m_out), std::string::npos) << c.m_args << "\n" << r.m_out;
        if (c.m_err.empty()) continue;
        // Each problem once, by name.
        const std::string told = ReadText(err);
        const auto at = told.find(c.m_err);
        EXPECT_TRUE(at != std::string::npos && told.find(c.m_err, at + 1) == std::string::npos) << c.m_args << told;
    }
}

// vantor conflicts: one row per record two plugins hold, in text, csv and
// json (read back), with the winner, the files in load order, the master
// copy and what each copy changes, by field.
TEST(Cli, ConflictsByRecordInEveryFormat) {
    CGame game(false);
    auto weapon = [](const std::string& id, float weight, std::int32_t value) {
        return std::vector<CSub>{Name(id), Sub("WPDT", F32(weight) + I32(value) + std::string(24, '\0'))};
    };
    game.Put("Base.esm", CPluginBuilder().Header().Record("WEAP", weapon("Caf\xE9 sword", 1, 10)), 10);
    game.Put("B, the newer.esp",
             CPluginBuilder().Header({"Base.esm"}).Record("WEAP", weapon("Caf\xE9 sword", 3, 20)).Record(
                 "MISC", {Name("rock"), Sub("DATA", I32(1))}),
             2);
    game.Put("A.esp",
             CPluginBuilder().Header({"Base.esm"}).Record("WEAP", weapon("Caf\xE9 sword", 2, 10)).Record(
                 "MISC", {Name("rock"), Sub("DATA", I32(1))}),
             5);
    const std::string mods = " 'game/Data Files/B, the newer.esp' 'game/Data Files/A.esp'";

    const CProgramRun text = game.Run("conflicts" + mods);
    EXPECT_EQ(text.m_exit, 0) << game.Err();
    EXPECT_EQ(text.m_out,
              "Record Conflicts (2)\n"
              "ID    Record             Name        Winning Esp File  Esp Files                Original File  "
              "Agreeing Override  Contested             Changes by File                                               "
              "Overridden by File\n"
              "MISC  Misc. Items Entry  rock        B, the newer.esp  A.esp, B, the newer.esp  None           "
              "Yes                " + std::string(84, ' ') + "\n"
              "WEAP  Weapon Entry       Caf\u00e9 sword  B, the newer.esp  A.esp, B, the newer.esp  Base.esm       "
              "No                 WPDT (Weight, Value)  A.esp: WPDT (Weight); B, the newer.esp: WPDT (Weight, Value)  "
              "A.esp: WPDT (Weight, Value)\n");

    // csv keeps the plugin's bytes and quotes the cells holding commas.
    const CProgramRun csv = game.Run("conflicts --format csv" + mods);
    EXPECT_EQ(csv.m_out.substr(csv.m_out.find("WEAP")),
              "WEAP,Weapon Entry,Caf\xE9 sword,\"B, the newer.esp\",\"A.esp, B, the newer.esp\",Base.esm,No,"
              "\"WPDT (Weight, Value)\",\"A.esp: WPDT (Weight); B, the newer.esp: WPDT (Weight, Value)\","
              "\"A.esp: WPDT (Weight, Value)\"\r\n");

    const CProgramRun json = game.Run("conflicts --format json" + mods);
    const std::optional<CJson> read = CJsonReader::Read(json.m_out);
    ASSERT_TRUE(read) << json.m_out;
    const CJson& records = (*read)["records"];
    ASSERT_EQ(records.m_items.size(), 2u) << json.m_out;
    const CJson& sword = records.m_items[1];
    EXPECT_EQ(sword["id"].m_text, "Caf\u00e9 sword");
    EXPECT_EQ(sword["winner"].m_text, "B, the newer.esp");
    EXPECT_EQ(sword["original"].m_text, "Base.esm");
    EXPECT_EQ(sword["agreeing"].m_text, "false");
    EXPECT_EQ(records.m_items[0]["agreeing"].m_text, "true");
    EXPECT_EQ(sword["contested"].Texts(), (std::vector<std::string>{"WPDT.Weight", "WPDT.Value"}));
    const CJson& files = sword["files"];
    ASSERT_EQ(files.m_items.size(), 2u);
    EXPECT_EQ(files.m_items[0]["file"].m_text, "A.esp");
    EXPECT_EQ(files.m_items[0]["changed"].Texts(), std::vector<std::string>{"WPDT.Weight"});
    EXPECT_EQ(files.m_items[0]["overridden"].Texts(), (std::vector<std::string>{"WPDT.Weight", "WPDT.Value"}));
    EXPECT_TRUE(files.m_items[1]["overridden"].m_items.empty());
}

// What could not be read or compared is said. A file that is no plugin is
// refused by name with status 1 by every command that reads it, and the rest
// of the run goes on; damage is a warning naming the record and its offset;
// masters that were not there to compare with are named.
TEST(Cli, WhatCouldNotBeReadOrComparedIsSaid) {
    CGame game;
    std::string random(65536, '\0');
    std::mt19937 rng(29);
    for (char& c : random) c = char(rng());
    game.Put("Broken.esp", CPluginBuilder().Raw(random), 1);
    std::string hidden = CPluginBuilder().Header().Record("MISC", {Name("hidden")}).Bytes();
    hidden.replace(4, 4, std::string(4, '\xFF'));
    game.Put("Hidden.esp", CPluginBuilder().Raw(hidden), 1);
    CPluginBuilder flipped;
    flipped.Header({"Sample.esm", "Gone.esm"}).Record("MISC", {Name("a")});
    const std::size_t at = flipped.Size();
    game.Put("Flipped.esp", flipped.Record("MISK", {Name("b")}).Record("MISC", {Name("c")}), 1);
    const std::string armory = " " + kArmory, broken = " 'game/Data Files/Broken.esp'";
    const std::string noPlugin = "Broken.esp: not a TES3 plugin or master: it does not begin with a TES3 header record\n";
    // A file the reader refused is said once, by the reader.
    const struct {
        std::string m_args;
        int m_exit;
        std::string m_out, m_err;
        std::string m_notSaid = "could not read";
    } cases[] = {
        {"check --all" + broken + armory, 1, "GMST  Gameplay Settings", "vantor: error: Error: " + noPlugin},
        {"list" + broken + armory, 1, "sample_goblet", "vantor: error: Error: " + noPlugin},
        {"extract" + broken + armory, 1, "plugin Sample Armory.esp:", "vantor: error: Error: " + noPlugin},
        {"check 'game/Data Files/Hidden.esp'", 1, "",
         "Hidden.esp: not a TES3 plugin or master: its TES3 header record claims 16777215 bytes of data"},
        {"check --all 'game/Data Files/Flipped.esp'", 0, "Warnings (0)",
         "vantor: warning: Warning: Flipped.esp: record MISK at offset " + std::to_string(at) +
             ": unknown record type, 26 bytes passed over up to the next record\n"
             "vantor: warning: the master Gone.esm of Flipped.esp is not loaded: nothing was compared with its records\n"},
        {"check --all --no-masters" + armory, 0, "Warnings (",
         "vantor: warning: no master was read, so unclean entries and global changes could not be checked\n"},
        // The automatic clean compares with the masters as the checks do.
        {"clean --yes --no-masters" + armory, 0, "",
         "vantor: warning: no master was read, so unclean entries and global changes could not be checked\n"},
        {"clean --yes 'game/Data Files/Flipped.esp'", 0, "",
         "vantor: warning: the master Gone.esm of Flipped.esp is not loaded: nothing was compared with its records\n"},
        {"check --all", 1, "", "No Plugins Chosen to Check"},
        // An active plugin the data folder does not hold is a file not read.
        {"check --active", 1, "Conflicts (", "vantor: could not read " + Native("game/Data Files/Nowhere.esp") + "\n",
         "Gone"},
        {"conflicts" + broken + armory, 1, "Record Conflicts (0)", "vantor: error: Error: " + noPlugin},
        {"conflicts", 1, "", "No Plugins Chosen to Check"},
        {"conflicts 'game/Data Files/Flipped.esp'", 0, "Record Conflicts (0)",
         "vantor: warning: the master Gone.esm of Flipped.esp is not loaded: nothing was compared with its records\n"},
    };
    std::string ini = ReadText(game.m_dir / "game/Morrowind.ini");
    ini.insert(ini.find("[Game Files]\r\n") + 14, "GameFile4=Nowhere.esp\r\n");
    std::ofstream(game.m_dir / "game/Morrowind.ini", std::ios::binary) << ini;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_args);
        const CProgramRun r = game.Run(c.m_args);
        EXPECT_EQ(r.m_exit, c.m_exit) << game.Err();
        EXPECT_NE(r.m_out.find(c.m_out), std::string::npos) << r.m_out;
        const std::string told = game.Err();
        const auto said = told.find(c.m_err);
        EXPECT_TRUE(said != std::string::npos && told.find(c.m_err, said + 1) == std::string::npos) << told;
        EXPECT_EQ(told.find(c.m_notSaid), std::string::npos) << told;
    }
    // info reads each file alone.
    const CProgramRun info = Vantor(game.m_dir.Path(), "info" + broken + armory);
    EXPECT_EQ(info.m_exit, 1);
    EXPECT_EQ(info.m_out.rfind("Sample Armory.esp\n", 0), 0u) << info.m_out;
    EXPECT_EQ(game.Err(), "vantor: error: " + noPlugin);
}

// Running out of memory on the worker is an error the user is told of, not a
// crash: vantor under an address-space limit that its check cannot fit in.
TEST(OutOfMemory, ACheckTooLargeForMemoryEndsWithAMessageAndStatusOne) {
#if defined(_WIN32)
    GTEST_SKIP() << "the address-space limit is set with bash's ulimit, which Windows lacks";
#elif defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "address-space limits and sanitizers do not mix: their shadow memory needs the space";
#else
    // 100 plugins that change the same 5,000 records: 25 million conflict
    // rows, some 600 MB, from 15 MB of plugins. Aligned text needs them all
    // at once; csv writes them as they are found, so it needs none of that.
    CTempDir dir;
    std::string plugins;
    for (int p = 0; p < 100; ++p) {
        CPluginBuilder b;
        b.Header();
        for (int i = 0; i < 5000; ++i) b.Record("MISC", {Name("item" + std::to_string(i)), Sub("DATA", I32(p))});
        const std::string name = "P" + std::to_string(p) + ".esp";
        ASSERT_TRUE(b.Write(dir / name));
        plugins += " " + name;
    }
    const auto run = [&](const std::string& format, const std::string& out) {
        const std::string command = "cd '" + dir.Path() + "' && ulimit -v 480000 && '" VANTOR_CLI "' check --conflicts" +
                                    " --no-masters --quiet --format " + format + " --install-dir . --settings v.ini" +
                                    plugins + " </dev/null 2>err.txt " + out;
        const int status = std::system(("bash -c \"" + command + "\"").c_str());
        EXPECT_TRUE(WIFEXITED(status)) << "vantor was killed";
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("text", ">/dev/null"), 1);
    const std::string err = ReadText(dir / "err.txt");
    EXPECT_NE(err.find("Not enough memory to check the plugins."), std::string::npos) << err;
    // Every row: the header, 4,950 pairs of plugins times 5,000 records, and
    // the two empty lists' headers.
    EXPECT_EQ(run("csv", "| wc -l >lines.txt"), 0);
    EXPECT_EQ(ReadText(dir / "lines.txt"), "24750003\n");
    EXPECT_EQ(ReadText(dir / "err.txt"), "");
#endif
}

// check --format csv writes the conflicts as it finds them, in runs of
// thousands: on a generated load order with many runs of them, the output is
// to the byte what the kept lists give (a results log keeps them).
TEST(Cli, ConflictsWrittenAsFoundAreTheKeptLists) {
    vantor::mkdata::CBenchOptions options;
    options.m_plugins = 20;
    options.m_masterMegabytes = 2;
    options.m_maxRecords = 1200;
    const vantor::mkdata::CTemporarySet set(options);
    ASSERT_TRUE(set.Written().m_ok) << set.Written().m_error;
    CTempDir dir;
    const std::string check =
        "check --all --format csv --active --masters --install-dir '" + set.Folder() + "' --settings v.ini";
    const CProgramRun streamed = Vantor(dir.Path(), check);
    const CProgramRun kept = Vantor(dir.Path(), check + " --yes --log log.txt");
    EXPECT_EQ(streamed.m_exit, 0);
    EXPECT_EQ(kept.m_exit, 0);
    const std::string& out = streamed.m_out;
    const std::size_t warnings = out.find("\r\nID,Warning,");
    ASSERT_NE(warnings, std::string::npos);
    const auto conflicts = std::count(out.begin(), out.begin() + std::ptrdiff_t(warnings), '\n');
    EXPECT_GT(conflicts, 2 * 8192);
    EXPECT_TRUE(out == kept.m_out) << "the lists differ, " << out.size() << " bytes against " << kept.m_out.size();
}

// vantor merge: the report, a dry run that writes nothing, a patch that
// reads back and loads last, its backup, and the output rule.
TEST(Cli, MergeWritesAPatchThatLoadsLastAndChangesNoInput) {
    CGame game;
    const std::string patch = game.m_data + "Merged Patch.esp", out = " -o 'game/Data Files/Merged Patch.esp' ";
    const std::string all = kPlugins + " 'game/Data Files/Sample Quests.esp'";
    std::vector<std::string> inputs;
    for (const char* name : {"Sample.esm", "Sample Armory.esp", "Sample Quests.esp", "Sample Tweaks.esp"})
        inputs.push_back(ReadText(game.m_data + name));

    auto dry = game.Run("merge --dry-run" + out + all);
    EXPECT_EQ(dry.m_exit, 0) << game.Err();
    EXPECT_NE(dry.m_out.find("WEAP  sample_iron_sword  Sample Tweaks.esp  WPDT Value: Sample Tweaks.esp; WPDT Health: "
                             "Sample Tweaks.esp; WPDT Chop Max: Sample Armory.esp"),
              std::string::npos)
        << dry.m_out;
    EXPECT_NE(dry.m_out.find("dry run: 1 NPC_, 1 WEAP would be merged; nothing was written"), std::string::npos);
    EXPECT_FALSE(fs::exists(patch));

    auto made = game.Run("merge" + out + all);
    EXPECT_EQ(made.m_exit, 0) << game.Err();
    EXPECT_NE(made.m_out.find("merged patch written: game/Data Files/Merged Patch.esp (1 NPC_, 1 WEAP merged)"),
              std::string::npos);
    auto read = ReadPluginAt(game.m_data, "Merged Patch.esp");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->HeaderMasters(), (std::vector<std::string>{"Sample.esm", "Sample Armory.esp", "Sample Tweaks.esp"}));
    EXPECT_EQ(read->HeaderRecordCount(), 2u);
    for (const char* name : {"Sample Armory.esp", "Sample Quests.esp", "Sample Tweaks.esp"})
        EXPECT_GT(vantor::platform::LastWriteTime(patch), vantor::platform::LastWriteTime(game.m_data + name)) << name;
    // With the patch last, the check finds it overriding both plugins.
    auto check = game.Run("check --conflicts --format csv 'game/Data Files/Merged Patch.esp' " + all);
    EXPECT_NE(check.m_out.find("WEAP,Weapon Entry,sample_iron_sword,Merged Patch.esp,Sample Tweaks.esp"), std::string::npos)
        << check.m_out;

    // An existing patch is replaced only when agreed, after its backup.
    const std::string first = ReadText(patch);
    EXPECT_EQ(game.Run("merge" + out + all).m_exit, 1);
    EXPECT_FALSE(fs::exists(game.m_data + "Merged Patch.OLD"));
    EXPECT_EQ(game.Run("merge --yes" + out + all).m_exit, 0) << game.Err();
    EXPECT_EQ(ReadText(game.m_data + "Merged Patch.OLD"), first);
    // Never over a file read.
    EXPECT_EQ(game.Run("merge --yes -o 'game/Data Files/Sample.esm' " + all).m_exit, 1);
    EXPECT_NE(game.Err().find("Sample.esm is a plugin or master in use"), std::string::npos) << game.Err();
    const char* names[] = {"Sample.esm", "Sample Armory.esp", "Sample Quests.esp", "Sample Tweaks.esp"};
    for (std::size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(ReadText(game.m_data + names[i]), inputs[i]) << names[i];
}
