// The built rivanta.exe, which is the one the zip ships: the DLLs its import
// tables name, read from the file's PE headers, and its size. (Its resources
// are checked by app_main_test.)
#include <windows.h>
#include <gtest/gtest.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

// The DLLs Windows always takes from the system: KnownDLLs, and COMCTL32,
// which the manifest binds to the system's side-by-side copy. Any other DLL
// named in the import table would first be looked for in the exe's folder.
const char *const ALLOWED_DLLS[] = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll",
                                    "comctl32.dll"};
// The zip's exe stays small: the debug information is kept outside it.
const long MAX_EXE_BYTES = 100 * 1024;
// Far above any exe of this program; a file larger than this is not read.
const long MAX_READ_BYTES = 16 * 1024 * 1024;
const size_t MAX_DLL_NAME = 260;

std::string exe_path(void)
{
    std::string path = RIVANTA_EXE_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;  // a Unix path seen through Wine
    return path;
}

std::vector<uint8_t> read_file(const std::string &path)
{
    std::vector<uint8_t> bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file) return bytes;
    if (fseek(file, 0, SEEK_END) == 0) {
        const long size = ftell(file);
        if (size > 0 && size <= MAX_READ_BYTES && fseek(file, 0, SEEK_SET) == 0) {
            bytes.resize((size_t)size);
            if (fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes.clear();
        }
    }
    fclose(file);
    return bytes;
}

// Copies a record out of the file at offset; false when it does not fit.
template <typename T>
bool read_at(const std::vector<uint8_t> &bytes, size_t offset, T *out)
{
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
    memcpy(out, bytes.data() + offset, sizeof(T));
    return true;
}

// A PE32+ image as far as the import tables need it.
struct Image {
    const std::vector<uint8_t> *bytes;
    std::vector<IMAGE_SECTION_HEADER> sections;
    IMAGE_DATA_DIRECTORY imports, delay_imports;
};

// Reads the headers; false when the file is not a well-formed 64-bit PE.
bool read_image(const std::vector<uint8_t> &bytes, Image *image)
{
    image->bytes = &bytes;
    IMAGE_DOS_HEADER dos;
    if (!read_at(bytes, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return false;
    IMAGE_NT_HEADERS64 nt;
    if (!read_at(bytes, (size_t)dos.e_lfanew, &nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
        nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC ||
        nt.OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT)
        return false;
    image->imports = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    image->delay_imports = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
    const size_t first_section = (size_t)dos.e_lfanew + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                                 nt.FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        if (!read_at(bytes, first_section + i * sizeof section, &section)) return false;
        image->sections.push_back(section);
    }
    return true;
}

// The file offset of a relative virtual address; 0 when no section holds it.
size_t file_offset(const Image &image, DWORD rva)
{
    for (const IMAGE_SECTION_HEADER &s : image.sections) {
        const DWORD extent = s.Misc.VirtualSize > s.SizeOfRawData ? s.Misc.VirtualSize : s.SizeOfRawData;
        if (rva >= s.VirtualAddress && rva - s.VirtualAddress < extent && rva - s.VirtualAddress < s.SizeOfRawData)
            return (size_t)s.PointerToRawData + (rva - s.VirtualAddress);
    }
    return 0;
}

// The zero-terminated name at rva; false when it is missing or too long.
bool read_name(const Image &image, DWORD rva, std::string *name)
{
    const size_t at = file_offset(image, rva);
    const std::vector<uint8_t> &bytes = *image.bytes;
    if (at == 0) return false;
    name->clear();
    for (size_t i = at; i < bytes.size() && name->size() < MAX_DLL_NAME; ++i) {
        if (bytes[i] == 0) return true;
        name->push_back((char)bytes[i]);
    }
    return false;
}

// The DLL names of the import table (delay: the delay-load table); false
// when the table cannot be read to its end.
bool imported_dlls(const Image &image, bool delay, std::vector<std::string> *names)
{
    const IMAGE_DATA_DIRECTORY directory = delay ? image.delay_imports : image.imports;
    if (directory.VirtualAddress == 0) return true;
    size_t at = file_offset(image, directory.VirtualAddress);
    if (at == 0) return false;
    for (;;) {
        DWORD name_rva = 0;
        if (delay) {
            IMAGE_DELAYLOAD_DESCRIPTOR descriptor;
            if (!read_at(*image.bytes, at, &descriptor)) return false;
            name_rva = descriptor.DllNameRVA;
            at += sizeof descriptor;
        } else {
            IMAGE_IMPORT_DESCRIPTOR descriptor;
            if (!read_at(*image.bytes, at, &descriptor)) return false;
            name_rva = descriptor.Name;
            at += sizeof descriptor;
        }
        if (name_rva == 0) return true;
        std::string name;
        if (!read_name(image, name_rva, &name)) return false;
        names->push_back(name);
    }
}

bool is_allowed(const std::string &dll)
{
    for (const char *allowed : ALLOWED_DLLS)
        if (_stricmp(dll.c_str(), allowed) == 0) return true;
    return false;
}

}  // namespace

TEST(ShippedExe, ImportsOnlyDllsThatWindowsTakesFromTheSystemFolder)
{
    const std::vector<uint8_t> bytes = read_file(exe_path());
    ASSERT_FALSE(bytes.empty()) << exe_path();
    Image image;
    ASSERT_TRUE(read_image(bytes, &image)) << "not a 64-bit PE file";

    std::vector<std::string> dlls;
    ASSERT_TRUE(imported_dlls(image, false, &dlls)) << "the import table cannot be read";
    bool kernel32 = false;
    for (const std::string &dll : dlls) {
        EXPECT_TRUE(is_allowed(dll)) << dll << " would be looked for in the exe's folder first";
        kernel32 = kernel32 || _stricmp(dll.c_str(), "kernel32.dll") == 0;
    }
    EXPECT_TRUE(kernel32) << "the import table was read wrongly: KERNEL32 is missing";

    std::vector<std::string> delayed;
    ASSERT_TRUE(imported_dlls(image, true, &delayed)) << "the delay-load table cannot be read";
    for (const std::string &dll : delayed)
        EXPECT_TRUE(is_allowed(dll)) << dll << " (delay-loaded) would be looked for in the exe's folder";
}

TEST(ShippedExe, IsAtMost100KB)
{
    const std::vector<uint8_t> bytes = read_file(exe_path());
    ASSERT_FALSE(bytes.empty()) << exe_path();
    EXPECT_LE((long)bytes.size(), MAX_EXE_BYTES) << "debug information or a new dependency in the exe?";
}
