// AppendLog: a side file of records that survive the sudden death of the
// process writing them, for crash tests (AppendLog.cpp, POSIX).
#pragma once

namespace kivfs_test {

// Appends records to a file with one write each, opened O_APPEND: a record
// is in the file as soon as Append returns, whatever becomes of the process
// right after (a SIGKILL loses nothing the kernel already holds).
class AppendLog {
  public:
    explicit AppendLog(const char* path);
    ~AppendLog();
    AppendLog(const AppendLog&) = delete;
    AppendLog& operator=(const AppendLog&) = delete;

    bool Append(const char* text);

  private:
    int fd_;
};

}  // namespace kivfs_test
