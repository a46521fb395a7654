// Runs the kivfs program as a user would (a shell command with files for
// standard input, output and error) and builds the fixtures its tests read:
// folders, zip archives made by the zip program, and stores written with
// SQLite directly, so that any name, escaping ones included, can be stored.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/ZipBuilder.h"

namespace kivfs_test {

// File name -> content; names use "/" and are relative to a root.
using Files = std::map<std::string, std::string>;

struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Expects success with nothing on standard error.
inline void ExpectClean(const ToolResult& result) {
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

// Expects a failed command (status 1) reporting exactly `line` (the
// newline included) and writing nothing to standard output.
inline void ExpectFailure(const ToolResult& result, const std::string& line) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, line);
    EXPECT_EQ(result.out, "");
}

// 'text' with every ' escaped, safe as one shell word.
inline std::string ShellWord(const std::string& text) {
    std::string word = "'";
    for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// The program built next to the tests.
inline std::string ToolPath() {
    const char* bin = std::getenv("KIVFS_TEST_BIN");
    return std::string(bin ? bin : ".") + "/bin/kivfs";
}

// Runs a shell command in `cwd`, feeding `input` and capturing both output
// streams and the exit status (echoed by the shell, which keeps the wait
// status decoding out of the test).
inline ToolResult RunShell(const std::string& command, const std::string& cwd,
                           const std::string& input = "") {
    TempDir io;
    WriteBytes(io / "in", input);
    const std::string line = "cd " + ShellWord(cwd) + " && " + command + " <" +
                             ShellWord(io / "in") + " >" + ShellWord(io / "out") + " 2>" +
                             ShellWord(io / "err") + "; echo $? >" + ShellWord(io / "rc");
    std::system(line.c_str());
    ToolResult result;
    result.out = ReadBytes(io / "out");
    result.err = ReadBytes(io / "err");
    result.status = std::atoi(ReadBytes(io / "rc").c_str());
    return result;
}

inline std::string ToolCommand(const std::vector<std::string>& args) {
    std::string command = ShellWord(ToolPath());
    for (const std::string& arg : args) command += " " + ShellWord(arg);
    return command;
}

// kivfs ARGS..., run in `cwd`.
inline ToolResult RunTool(const std::vector<std::string>& args, const std::string& cwd,
                          const std::string& input = "") {
    return RunShell(ToolCommand(args), cwd, input);
}

// kivfs ARGS... run on a pseudo-terminal (through script(1)), as in an
// interactive shell; `out` holds everything the terminal showed.
inline ToolResult RunToolOnTerminal(const std::vector<std::string>& args, const std::string& cwd) {
    return RunShell("script -qec " + ShellWord(ToolCommand(args)) + " /dev/null", cwd);
}

// Bytes that no text conversion leaves alone: every byte value, then a
// pseudo-random tail of `size` bytes in all.
inline std::string BinaryBytes(size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    unsigned state = seed;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(i < 256 ? i : (state >> 16) & 0xFF);
    }
    return bytes;
}

// Writes `files` below `root`, creating folders as needed.
inline void MakeTree(const std::string& root, const Files& files) {
    for (const auto& [name, bytes] : files) {
        const std::filesystem::path path = std::filesystem::u8path(root + "/" + name);
        std::filesystem::create_directories(path.parent_path());
        WriteBytes(path.string(), bytes);
    }
}

// Every regular file below `root`, by its name relative to it.
inline Files ReadTree(const std::string& root) {
    Files files;
    const std::filesystem::path base = std::filesystem::u8path(root);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(base)) {
        if (!entry.is_regular_file()) continue;
        files[std::filesystem::relative(entry.path(), base).u8string()] =
            ReadBytes(entry.path().string());
    }
    return files;
}

// A zip archive holding `files` (deflated), named exactly as given; their
// directories are implied by the names, as in archives made without
// directory entries.
inline ZipImage MakeZip(const std::string& archive, const Files& files) {
    ZipBuilder builder;
    for (const auto& [name, bytes] : files) builder.AddFile(name, bytes);
    ZipImage image = builder.Build();
    image.WriteTo(archive);
    return image;
}

// A store holding `files`, written with SQLite itself under the names
// exactly as given (split at the last "/" into Path and FileName).
inline void MakeStore(const std::string& path, const Files& files) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "create table if not exists FileStorage (FileName text, Path text, Content blob, "
                 "Info blob, primary key(FileName, Path));",
                 nullptr, nullptr, nullptr);
    for (const auto& [name, bytes] : files) {
        const size_t slash = name.rfind('/');
        const std::string dir = slash == std::string::npos ? "" : name.substr(0, slash + 1);
        const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO FileStorage (FileName, Path, Content) VALUES (?,?,?)",
                           -1, &insert, nullptr);
        sqlite3_bind_text(insert, 1, file.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, dir.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 3, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_finalize(insert);
    }
    sqlite3_close(db);
}

// Every file of the store at `path`, read with SQLite itself.
inline Files ReadStore(const std::string& path) {
    Files files;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return files;
    }
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT Path, FileName, Content FROM FileStorage", -1, &select, nullptr);
    while (select && sqlite3_step(select) == SQLITE_ROW) {
        const auto* dir = reinterpret_cast<const char*>(sqlite3_column_text(select, 0));
        const auto* file = reinterpret_cast<const char*>(sqlite3_column_text(select, 1));
        const auto* blob = static_cast<const char*>(sqlite3_column_blob(select, 2));
        const int size = sqlite3_column_bytes(select, 2);
        files[std::string(dir ? dir : "") + (file ? file : "")] =
            blob ? std::string(blob, static_cast<size_t>(size)) : std::string();
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
    return files;
}

}  // namespace kivfs_test
