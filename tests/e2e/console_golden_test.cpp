// The bytes TALVORIN writes, kept: a fixed database of every column type
// (golden/database.sql) converted in three code pages, with and without --blob2memo.
// Every DBF and FPT byte (but a DBF's date of the run) and the standard output are
// compared with the files kept in golden/, which the program itself made. When a change
// of output is meant, tests/e2e/golden/make makes them again: it runs this test with
// TORVANE_GOLDEN_REGENERATE=1, which rewrites the kept files that differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "tests/e2e/e2e_support.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

struct golden_run {
    const char* folder;  // of the kept files, under golden/
    const char* locale;
    bool blob2memo;
};

const golden_run runs[] = {
    {"1252", "LANG=en_US.UTF-8", false}, {"1252-blob2memo", "LANG=en_US.UTF-8", true},
    {"1251", "LANG=ru_RU.UTF-8", false}, {"1251-blob2memo", "LANG=ru_RU.UTF-8", true},
    {"1253", "LANG=el_GR.UTF-8", false}, {"1253-blob2memo", "LANG=el_GR.UTF-8", true},
};

// The kept DBF and FPT files are gzip files: compressed, memos of megabytes of repeated
// text take a few kilobytes.
const char* const gzip = "/bin/gzip";

std::string gunzip(const std::string& path) {
    tmp_dir d;
    if (wait_talvorin(start_program(gzip, {"-dc", path}, d.file("out"), d.file("err"))) != 0)
        throw std::runtime_error("gzip -dc " + path + ": " + read_file_bytes(d.file("err")));
    return read_file_bytes(d.file("out"));
}

void write_gzip(const std::string& path, const std::string& bytes) {
    tmp_dir d;
    write_file_bytes(d.file("in"), bytes);
    // -n: neither name nor time in the file, so that the same bytes give the same file.
    if (wait_talvorin(start_program(gzip, {"-9nc", d.file("in")}, path, d.file("err"))) != 0)
        throw std::runtime_error("gzip " + path + ": " + read_file_bytes(d.file("err")));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
}

std::string excerpt(const std::string& bytes, size_t at) {
    std::string out;
    for (size_t i = at; i < std::min(bytes.size(), at + 16); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, static_cast<char>(c)) : hex;
    }
    return "\"" + out + "\"";
}

// Where the written file first differs from the kept one, as a reader of the format would
// look for it (the record and field of a DBF, the block of an FPT); empty when they are
// the same. A DBF's bytes 1-3, the day of the run, are not compared.
std::string difference(const std::string& name, std::string got, const std::string& kept) {
    const bool dbf = name.ends_with(".dbf");
    if (dbf && got.size() >= 4 && kept.size() >= 4) got.replace(1, 3, kept, 1, 3);
    if (got == kept) return "";
    const size_t n = std::min(got.size(), kept.size());
    const size_t at = std::mismatch(got.begin(), got.begin() + n, kept.begin()).first - got.begin();
    std::string where = "byte " + std::to_string(at);
    if (dbf && kept.size() >= 32) {
        const size_t header = le16_at(kept, 8), length = le16_at(kept, 10);
        if (at < header || length == 0) {
            where += " (header)";
        } else {
            const size_t in = (at - header) % length;
            where += ", record " + std::to_string((at - header) / length + 1);
            size_t start = 1;  // after the deletion mark
            for (size_t f = 32; f + 32 <= header && kept[f] != '\r'; f += 32) {
                const size_t size = static_cast<unsigned char>(kept[f + 16]);
                if (in >= start && in < start + size) {
                    where +=
                        ", field " + std::string(kept.c_str() + f, strnlen(kept.c_str() + f, 11));
                    break;
                }
                start += size;
            }
        }
    } else if (!dbf && at >= 512 && kept.size() >= 8) {
        const size_t block =
            static_cast<unsigned char>(kept[6]) << 8 | static_cast<unsigned char>(kept[7]);
        if (block) where += ", block " + std::to_string(at / block);
    }
    return name + " (" + std::to_string(got.size()) + " bytes, kept " +
           std::to_string(kept.size()) + ") differs first at " + where + ": " + excerpt(got, at) +
           ", kept " + excerpt(kept, at);
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// The files of a run by name: the standard output (stdout.txt) and each file written.
// Kept, each but stdout.txt is name.gz.
using files = std::map<std::string, std::string>;

files read_kept(const std::string& folder) {
    files kept;
    if (!fs::exists(folder)) return kept;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string(), path = e.path().string();
        if (name.ends_with(".gz"))
            kept[name.substr(0, name.size() - 3)] = gunzip(path);
        else
            kept[name] = read_file_bytes(path);
    }
    return kept;
}

std::string kept_path(const std::string& folder, const std::string& name) {
    return folder + "/" + name + (name == "stdout.txt" ? "" : ".gz");
}

// Rewrites the kept files that differ from the written ones, and removes those the run no
// longer writes; a file that differs only in the DBF's date of the run stays as it is.
void regenerate(const std::string& folder, const files& written, const files& kept) {
    fs::create_directories(folder);
    for (const auto& [name, bytes] : written) {
        const auto k = kept.find(name);
        if (k != kept.end() && difference(name, bytes, k->second).empty()) continue;
        const std::string path = kept_path(folder, name);
        if (name == "stdout.txt")
            write_file_bytes(path, bytes);
        else
            write_gzip(path, bytes);
        std::printf("golden: wrote %s\n", path.c_str());
    }
    for (const auto& [name, bytes] : kept) {
        if (written.count(name)) continue;
        fs::remove(kept_path(folder, name));
        std::printf("golden: removed %s\n", kept_path(folder, name).c_str());
    }
}

}  // namespace

TEST(console_golden, every_column_type_is_written_as_kept_in_three_code_pages) {
    REQUIRE_TEST_SERVER();
    const std::string golden = source_dir() + "/tests/e2e/golden";
    const char* mode = std::getenv("TORVANE_GOLDEN_REGENERATE");
    const bool regenerating = mode && std::string(mode) == "1";
    scratch_db db("golden");
    db.exec(read_file_bytes(golden + "/database.sql"));

    // The runs side by side, each into a folder of its own.
    tmp_dir d;
    std::vector<pid_t> pids;
    for (const golden_run& run : runs) {
        const std::string f = run.folder;
        std::vector<std::string> args = with_server({"--src=" + db.name(), "--dest=" + d.file(f)});
        if (run.blob2memo) args.push_back("--blob2memo");
        pids.push_back(start_talvorin(args, d.file(f + ".out"), d.file(f + ".err"), run.locale));
    }
    std::vector<int> codes;
    for (pid_t pid : pids) codes.push_back(wait_at_most(pid, std::chrono::seconds(300)));

    for (size_t i = 0; i < std::size(runs); ++i) {
        const std::string f = runs[i].folder;
        SCOPED_TRACE(f);
        EXPECT_EQ(codes[i], 0) << read_file_bytes(d.file(f + ".err"));
        EXPECT_EQ(read_file_bytes(d.file(f + ".err")), "");
        files written;
        // The database's name is the one thing of the run in what it prints.
        written["stdout.txt"] =
            replace_all(read_file_bytes(d.file(f + ".out")), db.name(), "golden");
        for (const auto& e : fs::directory_iterator(d.file(f)))
            written[e.path().filename().string()] = read_file_bytes(e.path().string());
        const files kept = read_kept(golden + "/" + f);
        if (regenerating) {
            regenerate(golden + "/" + f, written, kept);
            continue;
        }
        // The same reports in the same order; the same files, byte for byte.
        EXPECT_EQ(written["stdout.txt"], kept.count("stdout.txt") ? kept.at("stdout.txt") : "");
        std::vector<std::string> written_names, kept_names;
        for (const auto& w : written) written_names.push_back(w.first);
        for (const auto& k : kept) kept_names.push_back(k.first);
        EXPECT_EQ(written_names, kept_names);
        for (const auto& [name, bytes] : written) {
            if (name == "stdout.txt" || !kept.count(name)) continue;
            EXPECT_EQ(difference(name, bytes, kept.at(name)), "");
        }
    }
}
