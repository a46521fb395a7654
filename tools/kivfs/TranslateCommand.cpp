// translate: what a virtual path such as "app:cfg/main.ini" stands for,
// given mounts made for this one question.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <vector>

#include "Commands.h"
#include "Container.h"
#include "LibraryReason.h"
#include "ToolError.h"

namespace kivfs_tool {

namespace {

struct TranslateOptions {
    std::vector<std::string> mounts;
    std::string virtualPath;
};

struct Mount {
    std::string name;
    std::string path;
};

// The mounts made for one translation, unmounted again (closing the
// containers they opened) when the command ends.
class MountSet {
  public:
    ~MountSet() {
        for (const Mount& mount : mounts_) kivFSUnmountPath(mount.name.c_str());
    }
    // Mounts and checks that the mount answers: the library's mount call
    // returns nothing, and leaves its reason in kivfsLastError.
    void Add(const Mount& mount) {
        if (Find(mount.name)) {
            throw ToolError("cannot mount " + Quoted(mount.name) + " on " + Quoted(mount.path) +
                            ": " + Quoted(mount.name) + " is mounted already");
        }
        kivFSMountPath(mount.name.c_str(), mount.path.c_str());
        const int code = kivfsLastError();
        if (kivFSKivToSyspath(mount.name.c_str(), nullptr, 0) <= 0) {
            throw ToolError("cannot mount " + Quoted(mount.name) + " on " + Quoted(mount.path) +
                            ": " + kivfsErrorText(code));
        }
        mounts_.push_back(mount);
    }
    // The mount made under `name`, or null.
    const Mount* Find(const std::string& name) const {
        for (const Mount& mount : mounts_) {
            if (mount.name == name) return &mount;
        }
        return nullptr;
    }

  private:
    std::vector<Mount> mounts_;
};

// A virtual path finds its mount by the text up to its first ":", so a
// mount name must end with its only ":" to be found at all.
Mount ParseMount(const std::string& text) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
        throw ToolError("cannot mount " + Quoted(text) +
                        ": expected MOUNT=PATH, as in app:=/games/data");
    }
    Mount mount{text.substr(0, equals), text.substr(equals + 1)};
    if (mount.name.find(':') != mount.name.size() - 1) {
        throw ToolError("cannot mount " + Quoted(mount.name) +
                        ": a mount name ends with its only \":\" (as in \"app:\")");
    }
    return mount;
}

// The library is asked twice: with size 0 for the length, then with a
// buffer one byte longer for the text and its terminator.
void RunTranslate(const TranslateOptions& options) {
    MountSet mounts;
    for (const std::string& text : options.mounts) {
        const Mount mount = ParseMount(text);
        // Mounting a path that names nothing would create a store there.
        RequireExistingContainer(mount.path);
        mounts.Add(mount);
    }
    const std::string& virtualPath = options.virtualPath;
    const int length = kivFSKivToSyspath(virtualPath.c_str(), nullptr, 0);
    if (length <= 0) {
        const size_t colon = virtualPath.find(':');
        const std::string what = "cannot translate " + Quoted(virtualPath);
        if (colon == std::string::npos) throw ToolError(what + ": no mount name (as in \"app:\")");
        const std::string name = virtualPath.substr(0, colon + 1);
        // Every mount made answered; a mounted name fails for its rest.
        if (mounts.Find(name)) {
            throw ToolError(what + ": " + LibraryReason("the library refused it"));
        }
        throw ToolError(what + ": " + Quoted(name) + " is not mounted");
    }
    std::string path(static_cast<size_t>(length) + 1, '\0');
    kivFSKivToSyspath(virtualPath.c_str(), path.data(), static_cast<unsigned int>(path.size()));
    path.resize(static_cast<size_t>(length));
    std::cout << path << '\n';
}

}  // namespace

void AddTranslateCommand(CLI::App& app) {
    auto options = std::make_shared<TranslateOptions>();
    CLI::App* translate = app.add_subcommand(
        "translate", "Mount names on paths, then print the system path a virtual path stands for");
    translate
        ->add_option("MOUNT=PATH", options->mounts,
                     "A mount, such as app:=/games/data (a directory, zip archive or store)")
        ->required();
    translate->add_option("VPATH", options->virtualPath, "The virtual path, such as app:cfg/a.ini")
        ->required();
    // The last argument is VPATH however many mounts come before it.
    translate->positionals_at_end();
    translate->callback([options] { RunTranslate(*options); });
}

}  // namespace kivfs_tool
