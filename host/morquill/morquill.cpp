// morquill.dll: the host's packing library, as this project's stand-in. It packs a document
// into the host's stream as a ZIP archive:
//   decompressdir    "<doc>.htm" and everything under "<doc>.files\", paths relative to the
//                    folder with "/" between folders;
//   decompressstream one entry named "document" holding the whole source stream.
// PackMode selects the compression: 0 stores the entries, 1 to 9 deflate them at that zlib
// level, and larger values mean 9. The host stream is cleared first and left positioned at 0;
// when packing fails it is left empty, which the caller takes as failure.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "HostAbi.h"
#include "morquill/ZipWriter.h"
#include "platform/Platform.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/MemoryStream.h"
#include "platform/win32/UniqueHandle.h"
#include "util/UrlPath.h"

namespace {

using morquill::ReadChunk;
using morquill::ZipWriter;

// A string the caller passed (it may pass none): its text, or empty.
std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

int LevelFor(uint8_t packMode) { return std::min<int>(packMode, 9); }

struct DosTime {
  WORD date = 0, time = 0;
};

DosTime ToDosTime(const FILETIME& utc) {
  FILETIME local;
  DosTime dos;
  if (!::FileTimeToLocalFileTime(&utc, &local) ||
      !::FileTimeToDosDateTime(&local, &dos.date, &dos.time))
    dos = DosTime{0x21, 0};  // 1980-01-01
  return dos;
}

DosTime Now() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return ToDosTime(now);
}

void AddFile(ZipWriter& zip, const std::string& path, const std::string& entryName,
             const FILETIME& modified) {
  lorvex::platform::UniqueFile file = lorvex::platform::OpenFile(path, "rb");
  if (!file) throw std::runtime_error("cannot open " + path);
  std::FILE* f = file.get();
  DosTime stamp = ToDosTime(modified);
  zip.AddEntry(
      entryName,
      [f](char* buffer, size_t capacity) {
        size_t n = std::fread(buffer, 1, capacity, f);
        if (n == 0 && std::ferror(f)) throw std::runtime_error("read failed");
        return n;
      },
      stamp.time, stamp.date);
}

// Adds every file below folder (a path ending in "\"), sorted by name for a stable archive.
void AddFolder(ZipWriter& zip, const std::string& folder, const std::string& entryPrefix) {
  WIN32_FIND_DATAA found;
  lorvex::win32::UniqueFindHandle search(::FindFirstFileA((folder + "*").c_str(), &found));
  if (!search) return;
  std::vector<WIN32_FIND_DATAA> items;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") items.push_back(found);
  } while (::FindNextFileA(search.get(), &found));
  std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
    return std::string(a.cFileName) < std::string(b.cFileName);
  });
  for (const auto& item : items) {
    std::string name = item.cFileName;
    if (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      AddFolder(zip, folder + name + "\\", entryPrefix + name + "/");
    else
      AddFile(zip, folder + name, entryPrefix + name, item.ftLastWriteTime);
  }
}

// Runs pack on the host stream; on any failure the host stream is left empty.
template <typename Pack>
void PackInto(const char* exportName, IStream* hostStream, Pack pack) {
  if (!hostStream) return;
  lorvex::win32::Guarded(exportName, [&] {
    lorvex::win32::ClearStream(hostStream);
    try {
      pack();
      LARGE_INTEGER zero{};
      LORVEX_TRACE_IF_FAILED(exportName, hostStream->Seek(zero, STREAM_SEEK_SET, nullptr));
    } catch (...) {
      lorvex::win32::TraceCaughtException(exportName);
      lorvex::win32::ClearStream(hostStream);
    }
  });
}

}  // namespace

extern "C" {

__attribute__((force_align_arg_pointer)) void __stdcall decompressdir(const char* documentName,
                                                                      const char* folder,
                                                                      IStream* hostStream,
                                                                      uint8_t packMode) {
  PackInto("decompressdir", hostStream, [&] {
    std::string base = lorvex::AddBackslash(Text(folder));
    std::string document = Text(documentName);
    std::string page = base + document + ".htm";
    WIN32_FILE_ATTRIBUTE_DATA pageInfo;
    if (!::GetFileAttributesExA(page.c_str(), GetFileExInfoStandard, &pageInfo) ||
        (pageInfo.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      throw std::runtime_error("no page " + page);
    ZipWriter zip(hostStream, LevelFor(packMode));
    AddFile(zip, page, document + ".htm", pageInfo.ftLastWriteTime);
    std::string resources = base + document + ".files";
    if (lorvex::platform::DirectoryExists(resources))
      AddFolder(zip, resources + "\\", document + ".files/");
    zip.Finish();
  });
}

__attribute__((force_align_arg_pointer)) void __stdcall decompressstream(IStream* source,
                                                                         IStream* hostStream,
                                                                         uint8_t packMode,
                                                                         int32_t) {
  PackInto("decompressstream", hostStream, [&] {
    if (!source) throw std::runtime_error("no source stream");
    ZipWriter zip(hostStream, LevelFor(packMode));
    DosTime stamp = Now();
    zip.AddEntry(
        "document",
        [source](char* buffer, size_t capacity) {
          ULONG got = 0;
          LORVEX_CHECK_HR(source->Read(buffer, ULONG(capacity), &got));
          return size_t(got);
        },
        stamp.time, stamp.date);
    zip.Finish();
  });
}

}  // extern "C"

namespace {
// The exports have the types that the host's declarations give them: another argument or
// calling convention does not compile.
[[maybe_unused]] constexpr lorvex::host::DecompressDirFunc kDecompressDir = &decompressdir;
[[maybe_unused]] constexpr lorvex::host::DecompressStreamFunc kDecompressStream = &decompressstream;
}  // namespace
