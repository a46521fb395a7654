// OwnTable: whether a store's table is exactly the one this library makes.
#pragma once

namespace kivfs {

class StatementCache;

// What the schema says of the store's table.
enum class OwnTable {
    Yes,      // our own create statement, with only its primary key's index
    No,       // another layout, another index or a trigger
    Unknown,  // the schema could not be read (the cause is noted)
};

// Only on our own table, alone, is a (FileName, Path) pair unique, does a
// listing query read the primary key's index, and does a change touch
// nothing but that table: callers that rely on any of these ask here first.
// Runs in the caller's transaction.
OwnTable CheckOwnTable(StatementCache& statements);

}  // namespace kivfs
