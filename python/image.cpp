// veltra._veltra.Image: an open image of the library, used by veltra.Image. Every call runs
// without the GIL, one at a time on one image.
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>

#include <pybind11/stl.h>

#include "python/binding.h"

namespace veltra_python {

namespace {

struct OpenImage {
    WarningKeeper keeper; // the image's reporter: lives longer than the image
    std::mutex busy;
    std::optional<veltra::Image> image; // empty once closed
    std::atomic<bool> closed{false};

    // Runs work(image) without the GIL, the image held by this thread alone.
    template <class Work>
    auto call(Work work) {
        return released(keeper, [&] {
            std::lock_guard<std::mutex> hold(busy);
            if (!image) throw py::value_error("I/O operation on closed image");
            return work(*image);
        });
    }

    // Closes the image once no other thread works on it.
    void close() {
        py::gil_scoped_release unlocked;
        std::lock_guard<std::mutex> hold(busy);
        image.reset();
        closed = true;
    }
};

py::dict file_dict(const veltra::File& file) {
    py::dict sizes;
    for (const char* letter : {"B", "D", "P"})
        sizes[letter] = veltra::host_size(file.size_words, form_of(letter));
    py::dict fields;
    fields["full_name"] = file.full_name;
    fields["name"] = file.name;
    fields["extension"] = file.extension;
    fields["tag"] = file.tag;
    fields["attributes"] = file.attributes;
    fields["attribute_letters"] = file.attribute_letters;
    fields["size_words"] = file.size_words;
    fields["sizes"] = sizes;
    fields["start_sector"] = file.start_sector;
    fields["has_directory_sector"] = file.has_directory_sector;
    fields["date"] = static_cast<std::int64_t>(file.date);
    fields["load_address"] = file.load_address;
    fields["program_start"] = file.program_start;
    fields["user_info_address"] = file.user_info_address;
    fields["user_info_size"] = file.user_info_size;
    fields["comment"] = py::bytes(file.comment).attr("decode")("latin-1");
    return fields;
}

py::list file_dicts(const std::vector<veltra::File>& files) {
    py::list list;
    for (const veltra::File& file : files)
        list.append(file_dict(file));
    return list;
}

std::unique_ptr<OpenImage> open_image(const std::string& path, bool change) {
    auto opened = std::make_unique<OpenImage>();
    released(opened->keeper, [&] {
        opened->image.emplace(veltra::Image::open(
            path, change ? veltra::Access::change : veltra::Access::read, &opened->keeper));
        return true;
    });
    return opened;
}

// Fills the writable buffer with the form's bytes from offset on; returns how many.
std::int64_t read_into(OpenImage& open, const std::string& name, const std::string& letter,
                       std::int64_t offset, const py::buffer& buffer) {
    py::buffer_info info = buffer.request(true);
    auto* out = static_cast<std::uint8_t*>(info.ptr);
    auto room = static_cast<std::size_t>(info.size * info.itemsize);
    veltra::Form form = form_of(letter);
    return open.call([&](veltra::Image& image) {
        std::size_t filled = 0;
        if (room == 0) return std::int64_t{0};
        image.read(name, form, offset, [&](const std::uint8_t* run, std::size_t n) {
            std::size_t taken = std::min(n, room - filled);
            std::copy_n(run, taken, out + filled);
            filled += taken;
            return filled < room;
        });
        return static_cast<std::int64_t>(filled);
    });
}

// The length of the form; text is measured by making it.
std::int64_t size_of(OpenImage& open, const std::string& name, const std::string& letter) {
    veltra::Form form = form_of(letter);
    return open.call([&](veltra::Image& image) {
        std::int64_t length = 0;
        bool text = form == veltra::Form::text;
        // Made (text) or passed over to its end: the file is there and can be read.
        image.read(
            name, form, text ? 0 : std::numeric_limits<std::int64_t>::max(),
            [&](const std::uint8_t*, std::size_t n) { return length += static_cast<std::int64_t>(n), true; });
        if (text) return length;
        for (const veltra::File& file : image.files())
            if (file.full_name == name) return veltra::host_size(file.size_words, form);
        return length;
    });
}

} // namespace

void define_image(py::module_& module) {
    py::class_<OpenImage>(module, "Image", "An open disk image of the library; veltra.Image wraps it.")
        .def(py::init(&open_image), py::arg("path"), py::arg("change"),
             "Opens and locks the image, for changes when change is true.")
        .def("close", &OpenImage::close, "Closes the image and lets go of its lock.")
        .def_property_readonly(
            "closed", [](const OpenImage& open) { return open.closed.load(); }, "True once closed.")
        .def(
            "files",
            [](OpenImage& open) { return file_dicts(open.call([](veltra::Image& i) { return i.files(); })); },
            "The files of the directory as dictionaries of their fields.")
        .def(
            "deleted_files",
            [](OpenImage& open) {
                return file_dicts(open.call([](veltra::Image& i) { return i.deleted_files(); }));
            },
            "The deleted files found in the free areas, as dictionaries of their fields.")
        .def(
            "read",
            [](OpenImage& open, const std::string& name, const std::string& letter) {
                veltra::Form form = form_of(letter);
                std::vector<std::uint8_t> bytes =
                    open.call([&](veltra::Image& i) { return i.read(name, form); });
                return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            },
            py::arg("name"), py::arg("form"), "The bytes velrea writes for the file in the form.")
        .def("read_into", &read_into, py::arg("name"), py::arg("form"), py::arg("offset"), py::arg("buffer"),
             "Fills buffer with the form's bytes from offset on; returns how many it filled.")
        .def("size", &size_of, py::arg("name"), py::arg("form"),
             "The length of the file's bytes in the form.")
        .def(
            "write",
            [](OpenImage& open, const std::string& name, const py::bytes& data, const std::string& letter,
               const std::string& letters) {
                std::vector<std::uint8_t> bytes = bytes_of(data);
                veltra::Form form = form_of(letter);
                return open.call([&](veltra::Image& i) { return i.write(name, bytes, form, letters); });
            },
            py::arg("name"), py::arg("data"), py::arg("form"), py::arg("letters"),
            "velwri of the bytes as a host file of that name; true when written.")
        .def(
            "write_file",
            [](OpenImage& open, const std::string& path, const std::string& letter,
               const std::string& letters) {
                veltra::Form form = form_of(letter);
                return open.call([&](veltra::Image& i) { return i.write(path, form, letters); });
            },
            py::arg("path"), py::arg("form"), py::arg("letters"),
            "velwri of the host file; true when written.")
        .def(
            "remove",
            [](OpenImage& open, const std::string& name, const std::string& letters) {
                return open.call([&](veltra::Image& i) { return i.remove(name, letters); });
            },
            py::arg("name"), py::arg("letters"), "veldel of the file; true when it is gone.")
        .def(
            "rename",
            [](OpenImage& open, const std::string& name, const std::string& new_name,
               const std::string& letters) {
                return open.call([&](veltra::Image& i) { return i.rename(name, new_name, letters); });
            },
            py::arg("name"), py::arg("new_name"), py::arg("letters"),
            "velren of the file; true when renamed.")
        .def(
            "run",
            [](OpenImage& open, const std::string& command, const std::vector<std::string>& words) {
                std::string printed = open.call([&](veltra::Image& i) { return i.run(command, words); });
                return py::bytes(printed).attr("decode")("latin-1");
            },
            py::arg("command"), py::arg("words"), "Runs the command on the image; returns what it prints.");
}

} // namespace veltra_python
