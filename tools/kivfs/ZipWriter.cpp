#include "ZipWriter.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <vector>

#include "Interrupt.h"
#include "LocalFiles.h"
#include "ToolError.h"
#include "ZipFacts.h"

#if defined(KIVFS_TOOL_HAVE_LIBZIP)
#include <zip.h>
#endif

namespace kivfs_tool {

#if defined(KIVFS_TOOL_HAVE_LIBZIP)

namespace {

// One file of the archive as libzip reads it, through the library, while
// zip_close writes the archive. The first failure is kept as the line the
// command ends with.
struct EntrySource {
    const Container* source = nullptr;
    std::string name;
    std::uint64_t size = 0;
    std::time_t mtime = 0;
    Progress* progress = nullptr;
    FilePtr file;
    std::uint64_t done = 0;
    std::string failure;
    zip_error_t zipError{};

    // Records `line` as the failure and tells libzip that reading failed.
    zip_int64_t Fail(const std::string& line) {
        if (failure.empty()) failure = line;
        zip_error_set(&zipError, ZIP_ER_READ, 0);
        return -1;
    }

    // The next bytes of the file, 0 at its end; a file that ends before or
    // runs past the size measured when it was added has changed meanwhile.
    zip_int64_t Read(void* data, zip_uint64_t length) {
        if (InterruptSignal() != 0) return Fail(Interrupted(InterruptSignal()).what());
        const std::string where = Quoted(source->Display(name));
        const int want = static_cast<int>(std::min<zip_uint64_t>(length, INT_MAX));
        const int count = kivfsRead(file.get(), data, want);
        if (count < 0 || (count == 0 && want > 0 && !kivfsError(file.get()))) {
            return Fail(source->Failure("cannot read " + where, "read failed", name).what());
        }
        done += static_cast<std::uint64_t>(count);
        if (done > size || (count == 0 && done != size)) {
            return Fail("cannot read " + where + ": it changed while being packed");
        }
        progress->AddBytes(static_cast<std::uint64_t>(count));
        return count;
    }

    zip_int64_t Stat(void* data, zip_uint64_t length) {
        zip_stat_t* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &zipError);
        if (!stat) return -1;
        // Without a size libzip would prepare every entry for 4 GiB or more
        // (zip64 fields), which readers of plain archives refuse.
        zip_stat_init(stat);
        stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        stat->size = size;
        stat->mtime = mtime;
        return sizeof *stat;
    }
};

// libzip's callback for a source of its own kind: a readable source that
// opens the file when libzip starts reading it and closes it after.
zip_int64_t EntryCallback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    EntrySource& entry = *static_cast<EntrySource*>(state);
    switch (command) {
        case ZIP_SOURCE_OPEN:
            entry.file.reset(kivfsCreateFileIndir(entry.source->handle(), entry.name.c_str(), 0));
            entry.done = 0;
            if (entry.file) return 0;
            return entry.Fail(
                entry.source
                    ->Failure("cannot open " + Quoted(entry.source->Display(entry.name)),
                              "no such file", entry.name)
                    .what());
        case ZIP_SOURCE_READ:
            return entry.Read(data, length);
        case ZIP_SOURCE_CLOSE:
            entry.file.reset();
            entry.progress->FileDone();
            return 0;
        case ZIP_SOURCE_STAT:
            return entry.Stat(data, length);
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&entry.zipError, data, length);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&entry.zipError, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

}  // namespace

// The archive is written to `part` (libzip itself writes a temporary file
// and renames it to `part` in zip_close), then renamed over the target.
// Entries own the sources' state; libzip holds pointers to them until the
// archive is closed or discarded.
struct ZipWriter::State {
    std::string target;
    std::string part;
    zip_t* archive = nullptr;
    std::time_t mtime = std::time(nullptr);
    std::vector<std::unique_ptr<EntrySource>> entries;

    std::string Where() const { return "cannot write " + Quoted(target); }
};

ZipWriter::ZipWriter(const std::string& target) : state_(std::make_unique<State>()) {
    state_->target = target;
    state_->part = PartFileName(target);
    int error = 0;
    state_->archive = zip_open(state_->part.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!state_->archive) {
        zip_error_t reason;
        zip_error_init_with_code(&reason, error);
        const std::string text = zip_error_strerror(&reason);
        zip_error_fini(&reason);
        throw ToolError(state_->Where() + ": " + text);
    }
}

ZipWriter::~ZipWriter() {
    if (state_->archive) zip_discard(state_->archive);
    RemoveLocalFile(state_->part);
}

// The size is measured now, by the position at the file's end.
void ZipWriter::Add(const Container& source, const std::string& name,
                    const std::string& entryName) {
    auto entry = std::make_unique<EntrySource>();
    entry->source = &source;
    entry->name = name;
    const std::string where = Quoted(source.Display(name));
    FilePtr file(kivfsCreateFileIndir(source.handle(), name.c_str(), 0));
    if (!file) throw source.Failure("cannot open " + where, "no such file", name);
    const int size = FileSizeOf(file.get());
    if (size < 0) throw source.Failure("cannot read " + where, "read failed", name);
    entry->size = static_cast<std::uint64_t>(size);
    entry->mtime = state_->mtime;
    zip_error_init(&entry->zipError);
    zip_source_t* data = zip_source_function(state_->archive, EntryCallback, entry.get());
    if (!data) throw ToolError(state_->Where() + ": " + zip_strerror(state_->archive));
    const zip_int64_t index =
        zip_file_add(state_->archive, entryName.c_str(), data, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(data);
        throw ToolError("cannot add " + Quoted(source.Display(name)) + " to " +
                        Quoted(state_->target) + ": " + zip_strerror(state_->archive));
    }
    zip_set_file_compression(state_->archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 0);
    state_->entries.push_back(std::move(entry));
}

void ZipWriter::AddDirectory(const std::string& name) {
    if (zip_dir_add(state_->archive, name.c_str(), ZIP_FL_ENC_UTF_8) < 0) {
        throw ToolError(state_->Where() + ": " + zip_strerror(state_->archive));
    }
}

// libzip writes no file for an archive of no entries, and readers refuse
// one, so there is nothing to put in place of the target.
void ZipWriter::Commit(Progress& progress) {
    if (state_->entries.empty()) {
        throw ToolError(state_->Where() + ": no files to pack (an archive needs at least one)");
    }
    for (auto& entry : state_->entries) entry->progress = &progress;
    if (zip_close(state_->archive) != 0) {
        ThrowIfInterrupted();
        for (const auto& entry : state_->entries) {
            if (!entry->failure.empty()) throw ToolError(entry->failure);
        }
        throw ToolError(state_->Where() + ": " + zip_strerror(state_->archive));
    }
    state_->archive = nullptr;
    // Past 4 GiB (or 65,534 entries) libzip adds zip64 records, which the
    // library refuses: such an archive is never put in place.
    if (NeedsZip64(state_->part)) {
        throw ToolError(state_->Where() +
                        ": the archive came out needing zip64 records, which kivfs does not read");
    }
    ThrowIfInterrupted();
    RenameLocalFile(state_->part, state_->target);
}

std::string ZipWriterVersionText() {
    return std::string("libzip ") + zip_libzip_version();
}

#else  // no libzip

struct ZipWriter::State {};

ZipWriter::ZipWriter(const std::string& target) {
    throw ToolError("cannot write zip archive " + Quoted(target) +
                    ": this kivfs was built without libzip");
}

ZipWriter::~ZipWriter() = default;

void ZipWriter::Add(const Container&, const std::string&, const std::string&) {}

void ZipWriter::AddDirectory(const std::string&) {}

void ZipWriter::Commit(Progress&) {}

std::string ZipWriterVersionText() {
    return "libzip: not built in (pack cannot write zip archives)";
}

#endif

}  // namespace kivfs_tool
