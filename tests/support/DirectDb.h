// Direct: a connection of the test's own to a store's database file, opened
// with the sqlite3 library, for checking what is really stored (and
// committed) there and for holding locks against the library's connection.
// It has no busy timeout: a statement that meets a lock fails at once.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace kivfs_test {

class Direct {
  public:
    explicit Direct(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
    ~Direct() { sqlite3_close(db_); }
    Direct(const Direct&) = delete;
    Direct& operator=(const Direct&) = delete;

    // Every row of `sql`, columns joined by "|", NULL written as "<null>";
    // a statement that fails is a test failure.
    std::vector<std::string> Rows(const std::string& sql);
    // Runs a statement; false when it fails (for one, when the store's
    // connection holds a lock).
    bool Exec(const std::string& sql);
    // The first row of `sql`, or "<none>".
    std::string One(const std::string& sql);
    // The stored names, sorted, as Path + FileName.
    std::vector<std::string> Names();
    std::string Content(const std::string& path, const std::string& fileName);

  private:
    sqlite3* db_ = nullptr;
};

}  // namespace kivfs_test
