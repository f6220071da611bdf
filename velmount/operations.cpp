#include "velmount/operations.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

#include "velmount/mounted_image.h"
#include "veltra/error.h"

namespace velmount {

namespace {

// How long the kernel may keep names and attributes before it asks again, in seconds: long
// enough that `ls -l` is answered from the one pass of the listing. A listing and an open
// always see the image as it is; a name looked at before the image changed may show its old
// attributes for this long.
constexpr double CACHE_SECONDS = 1.0;
// Preferred transfer size, so that copying programs ask for large pieces.
constexpr blksize_t TRANSFER_BYTES = 1 << 20;

// An open file: its record as it was at open, and for the text form its whole text.
struct OpenFile {
    MountedFile file;
    std::vector<Byte> text;
};

MountedImage& mounted() {
    return *static_cast<MountedImage*>(fuse_get_context()->private_data);
}

OpenFile& open_file(const fuse_file_info* fi) {
    return *reinterpret_cast<OpenFile*>(fi->fh);
}

// Runs one operation: an error of the image or of the library ends only this operation.
template <class Operation>
int guarded(Operation operation) {
    try {
        return operation();
    } catch (const MountError& e) {
        return -e.error;
    } catch (const veltra::Error& e) {
        MountReporter::print_error(e.what(), e.errnum());
        return -EIO;
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    }
}

void set_times(struct stat* st, std::time_t t) {
    st->st_mtim.tv_sec = t;
    st->st_atim.tv_sec = t;
    st->st_ctim.tv_sec = t;
}

void stat_file(struct stat* st, const MountedFile& file, std::int64_t length) {
    *st = {};
    st->st_mode = S_IFREG | 0444;
    st->st_nlink = 1;
    st->st_uid = getuid();
    st->st_gid = getgid();
    st->st_size = static_cast<off_t>(length);
    st->st_blksize = TRANSFER_BYTES;
    st->st_blocks = static_cast<blkcnt_t>((length + 511) / 512);
    set_times(st, file.date);
}

// The file named by a path in the mount's one folder, after a look whether the image changed.
MountedFile& file_at(const char* path) {
    MountedImage& image = mounted();
    refresh(image);
    MountedFile* file = path[0] == '/' ? find_file(image, path + 1) : nullptr;
    if (file == nullptr) throw MountError{ENOENT};
    return *file;
}

void* mount_init(fuse_conn_info*, fuse_config* config) {
    config->nullpath_ok = 1;
    config->entry_timeout = CACHE_SECONDS;
    config->attr_timeout = CACHE_SECONDS;
    config->negative_timeout = 0;
    return fuse_get_context()->private_data;
}

int mount_getattr(const char* path, struct stat* st, fuse_file_info* fi) {
    return guarded([&] {
        if (fi != nullptr) {
            OpenFile& open = open_file(fi);
            stat_file(st, open.file, open.file.length);
        } else if (std::strcmp(path, "/") == 0) {
            *st = {};
            st->st_mode = S_IFDIR | 0555;
            st->st_nlink = 2;
            st->st_uid = getuid();
            st->st_gid = getgid();
            set_times(st, static_cast<std::time_t>(stamp_of_image(mounted()).mtime_ns / 1000000000));
        } else {
            MountedFile& file = file_at(path);
            stat_file(st, file, host_length_of(mounted(), file));
        }
        return 0;
    });
}

int mount_readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                  fuse_readdir_flags) {
    return guarded([&] {
        // Without a path (nullpath_ok): the one folder the mount has.
        if (path != nullptr && std::strcmp(path, "/") != 0) return -ENOTDIR;
        MountedImage& image = mounted();
        refresh(image);
        fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags{});
        fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags{});
        for (MountedFile& file : image.files) {
            struct stat st {};
            bool measured = true;
            try {
                stat_file(&st, file, host_length_of(image, file));
            } catch (const MountError&) {
                measured = false; // the look-up of the name reports the error
            }
            fill(buffer, file.name.c_str(), measured ? &st : nullptr, 0,
                 measured ? FUSE_FILL_DIR_PLUS : fuse_fill_dir_flags{});
        }
        return 0;
    });
}

int mount_open(const char* path, fuse_file_info* fi) {
    return guarded([&] {
        if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
        MountedImage& image = mounted();
        auto open = std::make_unique<OpenFile>();
        open->file = file_at(path);
        if (image.form.text) {
            open->text = host_text(image, open->file);
            open->file.length = static_cast<std::int64_t>(open->text.size());
        }
        // Reads come straight from the image, in the pieces the program asks for.
        fi->direct_io = 1;
        fi->fh = reinterpret_cast<std::uint64_t>(open.release());
        return 0;
    });
}

int mount_read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    return guarded([&] {
        OpenFile& open = open_file(fi);
        std::span<Byte> out(reinterpret_cast<Byte*>(buffer), size);
        if (!mounted().form.text) return static_cast<int>(read_host_bytes(mounted(), open.file, offset, out));
        if (offset >= static_cast<off_t>(open.text.size())) return 0;
        std::size_t n = std::min(size, open.text.size() - static_cast<std::size_t>(offset));
        std::copy_n(open.text.begin() + offset, n, out.begin());
        return static_cast<int>(n);
    });
}

int mount_release(const char*, fuse_file_info* fi) {
    delete &open_file(fi);
    return 0;
}

} // namespace

fuse_operations mount_operations() {
    fuse_operations operations{};
    operations.init = mount_init;
    operations.getattr = mount_getattr;
    operations.readdir = mount_readdir;
    operations.open = mount_open;
    operations.read = mount_read;
    operations.release = mount_release;
    return operations;
}

} // namespace velmount
