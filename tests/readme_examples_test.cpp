// The README's examples, built and run as a reader would paste them. Every
// ```c block is a whole program: it is compiled as C99 with every warning an
// error, against the library of this build, and run in a folder holding
// what the examples open (a store saves.db, an archive packs/base.zip with
// img/logo.png, a folder data/ with cfg/main.ini; for the commands
// state.bin and assets/). Every ```sh block made only of kivfs commands is
// run there line by line; a line ending in "# prints X" must print X.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "tool_runner.h"

// The runner and fixture helpers are this file's vocabulary.
using namespace kivfs_test;  // NOLINT(build/namespaces)

namespace {

struct Block {
    std::string language;
    std::string text;
};

// The fenced blocks of `markdown`, each with its language.
std::vector<Block> FencedBlocks(const std::string& markdown) {
    std::vector<Block> blocks;
    std::istringstream in(markdown);
    std::string line;
    Block* open = nullptr;
    while (std::getline(in, line)) {
        if (!open && line.rfind("```", 0) == 0 && line.size() > 3) {
            blocks.push_back(Block{line.substr(3), ""});
            open = &blocks.back();
        } else if (open && line == "```") {
            open = nullptr;
        } else if (open) {
            open->text += line + "\n";
        }
    }
    return blocks;
}

// The lines of `text`.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// True for a block of kivfs commands only (the usage synopsis is "text").
bool IsCommandBlock(const Block& block) {
    if (block.language != "sh") return false;
    for (const std::string& line : Lines(block.text)) {
        if (line.rfind("kivfs ", 0) != 0) return false;
    }
    return true;
}

// Compiles NAME.c into the program NAME, as strictly as the consumer test.
std::string CompileCommand(const std::string& name) {
    return std::string(KIVFS_C_COMPILER) + " -std=c99 -Wall -Wextra -Werror -pedantic " +
           KIVFS_C_FLAGS + " -I" + KIVFS_INCLUDE_DIR + " " + name + ".c -L" + KIVFS_LIB_DIR +
           " -lkivfs -Wl,-rpath," + KIVFS_LIB_DIR + " -o " + name;
}

// The folder every example runs in.
void PrepareFolder(const TempDir& dir) {
    MakeTree(dir / "logo", {{"img/logo.png", "not really a PNG"}});
    MakeTree(dir.path(), {{"data/cfg/main.ini", "[game]\nlevel=3\n"},
                          {"assets/cfg/main.ini", "[assets]\n"},
                          {"state.bin", "state"}});
    std::filesystem::create_directory(dir / "packs");
    ExpectClean(RunShell("cd logo && zip -q -r ../packs/base.zip img", dir.path()));
    MakeStore(dir / "saves.db", {{"slot0/state.bin", "empty slot"}});
}

TEST(ReadmeExamples, EveryExampleBuildsAndRuns) {
    std::string readme = ReadBytes(std::string(KIVFS_SOURCE_DIR) + "/README.md");
    ASSERT_FALSE(readme.empty());
    TempDir dir;
    PrepareFolder(dir);
    int programs = 0;
    int commandBlocks = 0;
    for (const Block& block : FencedBlocks(readme)) {
        if (block.language == "c") {
            const std::string name = "example" + std::to_string(++programs);
            SCOPED_TRACE(name + ":\n" + block.text);
            WriteBytes(dir / (name + ".c"), block.text);
            ExpectClean(RunShell(CompileCommand(name), dir.path()));
            const ToolResult run = RunShell("./" + name, dir.path());
            EXPECT_EQ(run.status, 0) << run.out << run.err;
        } else if (IsCommandBlock(block)) {
            ++commandBlocks;
            for (const std::string& line : Lines(block.text)) {
                SCOPED_TRACE(line);
                const size_t comment = line.find('#');
                const std::string command = line.substr(6, comment - 6);
                const ToolResult run = RunShell(ShellWord(ToolPath()) + " " + command, dir.path());
                EXPECT_EQ(run.status, 0) << run.err;
                const size_t prints = line.find("# prints ");
                if (prints != std::string::npos) {
                    EXPECT_EQ(run.out, line.substr(prints + 9) + "\n");
                }
            }
        }
    }
    EXPECT_GE(programs, 2);
    EXPECT_GE(commandBlocks, 1);
}

}  // namespace
