// A FUSE file system for power-cut tests: it passes every operation through to a backing folder
// and remembers what a disk would keep if the power went now.
//   powercutfs BACKING MOUNTPOINT CUT_AFTER MODE SEED REPORT
// A file's data is kept once the file is synced (fsync or fdatasync), a name's creation, rename or
// removal once its folder is synced. What was there at mount is on the disk; symbolic links are
// not made here, and modes are not kept (the tests read lists, not permissions). After operation
// CUT_AFTER (counting those that change something or make it durable; 0 never) the power goes:
// the backing folder is rewritten as the disk would be found, and every later operation fails.
// MODE "synced" keeps exactly what was synced; "journal" also keeps, as a journaling file system
// may, the name changes of a random first part of the unsynced ones, in order, and of each file
// whose data was not synced either the synced data or a random first part of the new data over
// it. REPORT receives the number of operations, whether the power went, and a line for each.
#define FUSE_USE_VERSION 31

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <fuse.h>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Id = unsigned long;

struct Node {
    enum class Kind { File, Folder, Link } kind = Kind::File;
    std::string data; // a file's bytes, a link's target
    std::map<std::string, Id> entries; // a folder's names
};

// A change of one name in one folder: to a node, or away.
struct NameChange {
    Id folder;
    std::string name;
    std::optional<Id> node;
    bool synced = false;
};

struct State {
    std::string backing;
    long cutAfter = 0;
    std::string mode;
    std::mt19937 random;
    std::string report;

    long operations = 0;
    bool powerOff = false;
    std::vector<std::string> log;
    std::map<Id, Node> durable;
    // Backing inode numbers are reused, so nodes get ids of their own.
    std::map<ino_t, Id> ids;
    Id nextId = 1;
    // Each operation's name changes, in the order they were made.
    std::vector<std::vector<NameChange>> journal;
};

State state;

std::string backed(const char* path)
{
    return state.backing + path;
}

std::string parentOf(const std::string& path)
{
    const std::string parent = fs::path(path).parent_path();
    return parent.empty() ? "/" : parent;
}

std::string nameOf(const std::string& path)
{
    return fs::path(path).filename();
}

std::optional<ino_t> inodeAt(const std::string& backingPath)
{
    struct stat info { };
    return ::lstat(backingPath.c_str(), &info) == 0 ? std::optional(info.st_ino) : std::nullopt;
}

Id idAt(const char* path)
{
    return state.ids.at(*inodeAt(backed(path)));
}

std::string contentsAt(const std::string& backingPath)
{
    std::ostringstream bytes;
    bytes << std::ifstream(backingPath, std::ios::binary).rdbuf();
    return bytes.str();
}

// What sits at a backing path, read as durable: at mount, all of it is on the disk.
Id adopt(const std::string& backingPath)
{
    struct stat info { };
    ::lstat(backingPath.c_str(), &info);
    if (const auto known = state.ids.find(info.st_ino); known != state.ids.end())
        return known->second;
    const Id id = state.ids[info.st_ino] = state.nextId++;
    Node& node = state.durable[id];
    if (S_ISDIR(info.st_mode)) {
        node.kind = Node::Kind::Folder;
        for (const auto& entry : fs::directory_iterator(backingPath))
            node.entries[entry.path().filename()] = adopt(entry.path());
    } else if (S_ISLNK(info.st_mode)) {
        node.kind = Node::Kind::Link;
        node.data = fs::read_symlink(backingPath);
    } else {
        node.data = contentsAt(backingPath);
    }
    return id;
}

// A node made now: nothing of it is durable but a link's target, which goes with its name.
Id created(const char* path, Node::Kind kind)
{
    const Id id = state.ids[*inodeAt(backed(path))] = state.nextId++;
    state.durable[id].kind = kind;
    return id;
}

void journal(std::vector<NameChange> changes)
{
    state.journal.push_back(std::move(changes));
}

NameChange nameChange(const char* path, std::optional<Id> node)
{
    return {idAt(parentOf(path).c_str()), nameOf(path), node};
}

void syncFolder(int descriptor)
{
    struct stat info { };
    ::fstat(descriptor, &info);
    const Id folder = state.ids.at(info.st_ino);
    std::map<std::string, Id> entries;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd/" + std::to_string(descriptor)))
        if (const auto inode = inodeAt(entry.path()); inode && state.ids.contains(*inode))
            entries[entry.path().filename()] = state.ids.at(*inode);
    state.durable[folder].entries = std::move(entries);
    for (auto& changes : state.journal)
        for (NameChange& change : changes)
            change.synced = change.synced || change.folder == folder;
}

// The data of the files as they are now, by node.
std::map<Id, std::string> liveData()
{
    std::map<Id, std::string> data;
    for (const auto& entry : fs::recursive_directory_iterator(state.backing)) {
        const auto inode = inodeAt(entry.path());
        if (inode && state.ids.contains(*inode) && !entry.is_symlink() && entry.is_regular_file())
            data[state.ids.at(*inode)] = contentsAt(entry.path());
    }
    return data;
}

// Applies, in the journal mode, what a journaling file system may have kept beyond the synced.
std::map<Id, Node> foundAfterTheCut()
{
    std::map<Id, Node> found = state.durable;
    if (state.mode != "journal")
        return found;
    const std::size_t kept = state.random() % (state.journal.size() + 1);
    for (std::size_t i = 0; i < kept; ++i) {
        for (const NameChange& change : state.journal[i]) {
            if (change.synced)
                continue;
            auto& entries = found[change.folder].entries;
            if (change.node)
                entries[change.name] = *change.node;
            else
                entries.erase(change.name);
        }
    }
    for (const auto& [id, now] : liveData()) {
        std::string& data = found[id].data;
        if (data == now || state.random() % 2 == 0)
            continue;
        const std::size_t written = state.random() % (now.size() + 1);
        data = now.substr(0, written) + (data.size() > written ? data.substr(written) : "");
    }
    return found;
}

void materialise(const std::map<Id, Node>& found, Id folder, const std::string& at,
    std::map<Id, std::string>& made)
{
    for (const auto& [name, id] : found.at(folder).entries) {
        const std::string path = at + "/" + name;
        const Node& node = found.at(id);
        if (const auto already = made.find(id); already != made.end()) {
            if (node.kind != Node::Kind::Folder)
                ::link(already->second.c_str(), path.c_str());
            continue;
        }
        made[id] = path;
        switch (node.kind) {
        case Node::Kind::Folder:
            ::mkdir(path.c_str(), 0700);
            materialise(found, id, path, made);
            break;
        case Node::Kind::Link:
            ::symlink(node.data.c_str(), path.c_str());
            break;
        case Node::Kind::File:
            std::ofstream(path, std::ios::binary) << node.data;
            break;
        }
    }
}

void cutThePower()
{
    const std::map<Id, Node> found = foundAfterTheCut();
    for (const auto& entry : fs::directory_iterator(state.backing))
        fs::remove_all(entry.path());
    std::map<Id, std::string> made;
    materialise(found, state.ids.at(*inodeAt(state.backing)), state.backing, made);
    state.powerOff = true;
}

// Counts an operation that changed something or made it durable, and cuts the power after the
// chosen one.
int done(const char* operation, const char* path, int result)
{
    ++state.operations;
    state.log.push_back(std::to_string(state.operations) + " " + operation + " "
        + (path ? path : "(open file)") + (result < 0 ? " failed" : ""));
    if (state.operations == state.cutAfter)
        cutThePower();
    return result;
}

int outcome(int result)
{
    return result < 0 ? -errno : 0;
}

// After the cut, nothing answers.
template<typename Operation>
int unlessPowerOff(Operation operation)
{
    return state.powerOff ? -EIO : operation();
}

// The operations, each passed through to the backing folder.
namespace op {

int getattr(const char* path, struct stat* info, fuse_file_info* file)
{
    return unlessPowerOff([&] {
        return outcome(file ? ::fstat(int(file->fh), info) : ::lstat(backed(path).c_str(), info));
    });
}

int readlink(const char* path, char* buffer, size_t size)
{
    return unlessPowerOff([&] {
        const ssize_t length = ::readlink(backed(path).c_str(), buffer, size - 1);
        if (length < 0)
            return -errno;
        buffer[length] = '\0';
        return 0;
    });
}

int mkdir(const char* path, mode_t mode)
{
    return unlessPowerOff([&] {
        const int result = outcome(::mkdir(backed(path).c_str(), mode));
        if (result == 0)
            journal({nameChange(path, created(path, Node::Kind::Folder))});
        return done("mkdir", path, result);
    });
}

int unlink(const char* path)
{
    return unlessPowerOff([&] {
        const NameChange change = nameChange(path, std::nullopt);
        const int result = outcome(::unlink(backed(path).c_str()));
        if (result == 0)
            journal({change});
        return done("unlink", path, result);
    });
}

int rename(const char* from, const char* to, unsigned int flags)
{
    return unlessPowerOff([&] {
        const Id moved = idAt(from);
        const NameChange away = nameChange(from, std::nullopt);
        const int result = outcome(
            ::renameat2(AT_FDCWD, backed(from).c_str(), AT_FDCWD, backed(to).c_str(), flags));
        if (result == 0)
            journal({away, nameChange(to, moved)});
        return done("rename", to, result);
    });
}

int link(const char* from, const char* to)
{
    return unlessPowerOff([&] {
        const int result = outcome(::link(backed(from).c_str(), backed(to).c_str()));
        if (result == 0)
            journal({nameChange(to, idAt(to))});
        return done("link", to, result);
    });
}

int chmod(const char* path, mode_t mode, fuse_file_info* file)
{
    return unlessPowerOff([&] {
        return done("chmod", path,
            outcome(file ? ::fchmod(int(file->fh), mode) : ::chmod(backed(path).c_str(), mode)));
    });
}

int truncate(const char* path, off_t size, fuse_file_info* file)
{
    return unlessPowerOff([&] {
        return done("truncate", path,
            outcome(
                file ? ::ftruncate(int(file->fh), size) : ::truncate(backed(path).c_str(), size)));
    });
}

int open(const char* path, fuse_file_info* file)
{
    return unlessPowerOff([&] {
        const int descriptor = ::open(backed(path).c_str(), file->flags);
        if (descriptor < 0)
            return -errno;
        file->fh = std::uint64_t(descriptor);
        return 0;
    });
}

int create(const char* path, mode_t mode, fuse_file_info* file)
{
    return unlessPowerOff([&] {
        const int descriptor = ::open(backed(path).c_str(), file->flags | O_CREAT, mode);
        if (descriptor < 0)
            return done("create", path, -errno);
        file->fh = std::uint64_t(descriptor);
        journal({nameChange(path, created(path, Node::Kind::File))});
        return done("create", path, 0);
    });
}

int read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file)
{
    return unlessPowerOff([&] {
        const ssize_t got = ::pread(int(file->fh), buffer, size, offset);
        return got < 0 ? -errno : int(got);
    });
}

int write(const char* path, const char* bytes, size_t size, off_t offset, fuse_file_info* file)
{
    return unlessPowerOff([&] {
        const ssize_t written = ::pwrite(int(file->fh), bytes, size, offset);
        return done("write", path, written < 0 ? -errno : int(written));
    });
}

int release(const char*, fuse_file_info* file)
{
    ::close(int(file->fh));
    return 0;
}

int fsync(const char* path, int dataOnly, fuse_file_info* file)
{
    return unlessPowerOff([&] {
        const int descriptor = int(file->fh);
        struct stat info { };
        if (::fstat(descriptor, &info) != 0 || ::fdatasync(descriptor) != 0)
            return done("fsync", path, -errno);
        // Read through a descriptor of its own: the file may be open for writing only.
        state.durable[state.ids.at(info.st_ino)].data
            = contentsAt("/proc/self/fd/" + std::to_string(descriptor));
        return done(dataOnly ? "fdatasync" : "fsync", path, 0);
    });
}

// An open folder is reached through its descriptor: the path of one is not always given.
int opendir(const char* path, fuse_file_info* folder)
{
    return unlessPowerOff([&] {
        const int descriptor = ::open(backed(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder->fh = std::uint64_t(descriptor);
        return descriptor < 0 ? -errno : 0;
    });
}

int readdir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* folder,
    fuse_readdir_flags)
{
    return unlessPowerOff([&] {
        DIR* entries = ::fdopendir(::dup(int(folder->fh)));
        if (!entries)
            return -errno;
        ::rewinddir(entries);
        while (const dirent* entry = ::readdir(entries))
            fill(buffer, entry->d_name, nullptr, 0, fuse_fill_dir_flags(0));
        ::closedir(entries);
        return 0;
    });
}

int releasedir(const char*, fuse_file_info* folder)
{
    ::close(int(folder->fh));
    return 0;
}

int fsyncdir(const char* path, int, fuse_file_info* folder)
{
    return unlessPowerOff([&] {
        syncFolder(int(folder->fh));
        return done("fsync folder", path, 0);
    });
}

} // namespace op

void* init(fuse_conn_info*, fuse_config* config)
{
    // The kernel asks every time, so that no answer outlives a cut.
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    // Removed files go at once instead of being renamed out of the way, and open ones are reached
    // through their descriptors.
    config->hard_remove = 1;
    config->nullpath_ok = 1;
    return nullptr;
}

void destroy(void*)
{
    std::ofstream report(state.report);
    report << "operations " << state.operations << "\ncut " << (state.powerOff ? "yes" : "no")
           << "\n";
    for (const std::string& line : state.log)
        report << line << "\n";
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: powercutfs BACKING MOUNTPOINT CUT_AFTER MODE SEED REPORT\n");
        return 2;
    }
    state.backing = fs::canonical(argv[1]);
    state.cutAfter = std::stol(argv[3]);
    state.mode = argv[4];
    state.random.seed(std::stoul(argv[5]));
    state.report = argv[6];
    adopt(state.backing);

    fuse_operations operations{};
    operations.getattr = op::getattr;
    operations.readlink = op::readlink;
    operations.mkdir = op::mkdir;
    operations.unlink = op::unlink;
    operations.rename = op::rename;
    operations.link = op::link;
    operations.chmod = op::chmod;
    operations.truncate = op::truncate;
    operations.open = op::open;
    operations.create = op::create;
    operations.read = op::read;
    operations.write = op::write;
    operations.release = op::release;
    operations.fsync = op::fsync;
    operations.opendir = op::opendir;
    operations.readdir = op::readdir;
    operations.releasedir = op::releasedir;
    operations.fsyncdir = op::fsyncdir;
    operations.init = init;
    operations.destroy = destroy;
    char* fuseArguments[] = {argv[0], const_cast<char*>("-o"),
        const_cast<char*>("default_permissions,fsname=powercutfs"), nullptr};
    fuse_args arguments = FUSE_ARGS_INIT(3, fuseArguments);
    fuse* fileSystem = fuse_new(&arguments, &operations, sizeof operations, nullptr);
    if (!fileSystem)
        return 1;
    if (fuse_mount(fileSystem, argv[2]) != 0
        || fuse_set_signal_handlers(fuse_get_session(fileSystem)) != 0) {
        fuse_destroy(fileSystem);
        return 1;
    }
    const int ended = fuse_loop(fileSystem);
    fuse_remove_signal_handlers(fuse_get_session(fileSystem));
    fuse_unmount(fileSystem);
    fuse_destroy(fileSystem);
    // An unmount can end the connection while the loop is taking a request the kernel sent
    // last, a file's release; the kernel then says the connection was aborted, not that it
    // ended, but the file system ended as asked.
    return ended == 0 || ended == -ECONNABORTED ? 0 : 1;
}
