// SqlText: a statement text formatted by SQLite's own printf, freed with it.
//
// "%s" inserts a text as it stands, "%Q" a text in single quotes with every
// quote inside it doubled, "%lld" a 64-bit row id. The text lives exactly as
// long as the object, so no path of an operation can leak it.
#pragma once

namespace kivfs {

class SqlText {
  public:
    // Formats `format` with the arguments; c_str() is null when SQLite could
    // not allocate the text.
    explicit SqlText(const char* format, ...);
    ~SqlText();
    SqlText(const SqlText&) = delete;
    SqlText& operator=(const SqlText&) = delete;

    const char* c_str() const { return text_; }

  private:
    char* text_;  // owned, from sqlite3_vmprintf; may be null
};

}  // namespace kivfs
