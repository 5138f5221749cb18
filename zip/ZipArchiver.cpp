#include "zip/ZipArchiver.h"

#include <algorithm>
#include <cstring>

#include "platform/Files.h"
#include "platform/ReadAheadStream.h"
#include "platform/ScopeGuard.h"
#include "platform/Text.h"
#include "zip/ZipDecoder.h"
#include "zip/ZipDirManager.h"

namespace varnel {

namespace {

constexpr uint32_t kLocalHeaderSig = 0x04034B50;
constexpr uint32_t kDescriptorSig = 0x08074B50;
constexpr int64_t kEndSearchWindow = 65600;
constexpr int64_t kStubBlock = 10000;
// The recovery scan reads the archive in blocks of this size, and keeps in memory what a local
// header found at the scan position may need: its fixed part, a name and an extra field.
constexpr int64_t kScanBuffer = int64_t{1} << 18;
constexpr int64_t kScanReach = 30 + 65535 + 65535;

// Sequential reads of the central directory through one buffer of up to 64 KB, no larger than
// the directory it is told to expect.
class TDirectoryReader {
 public:
  TDirectoryReader(TStream& stream, uint64_t expected)
      : stream_(stream), buffer_(static_cast<size_t>(std::clamp<uint64_t>(expected, 46, 65536))) {}

  void Read(void* out, size_t count) {
    auto* dst = static_cast<uint8_t*>(out);
    while (count > 0) {
      if (pos_ == end_) {
        end_ = static_cast<size_t>(stream_.Read(buffer_.data(), buffer_.size()));
        pos_ = 0;
        if (end_ == 0) throw EReadError("Stream read error");
      }
      size_t n = std::min(count, end_ - pos_);
      std::memcpy(dst, buffer_.data() + pos_, n);
      pos_ += n;
      dst += n;
      count -= n;
    }
  }
  std::string ReadString(size_t count) {
    std::string s(count, '\0');
    Read(s.data(), count);
    return s;
  }

 private:
  TStream& stream_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

// The OEM-to-ANSI conversion of names: 437 bytes to the 1252 byte of the same character.
std::string OemToAnsi(std::string bytes) {
  static const std::string table = [] {
    std::string t(128, '?');
    for (int b = 0x80; b < 0x100; ++b) {
      std::string one = Utf8ToCp1252(Cp437ToUtf8(std::string(1, static_cast<char>(b))));
      t[b - 0x80] = one.size() == 1 ? one[0] : '?';
    }
    return t;
  }();
  for (char& c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if (b == 0) break;
    if (b >= 0x80) c = table[b - 0x80];
  }
  return bytes;
}

bool HasHighByte(const std::string& bytes) {
  return std::any_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

void ParseCentralHeader(const uint8_t* h, TZipDirItem& item) {
  item.VersionMadeBy = Get16(h + 4);
  item.VersionNeeded = Get16(h + 6);
  item.Flags = Get16(h + 8);
  item.Method = Get16(h + 10);
  item.Time = Get16(h + 12);
  item.Date = Get16(h + 14);
  item.Crc32 = Get32(h + 16);
  item.CompressedSize = Get32(h + 20);
  item.UncompressedSize = Get32(h + 24);
  item.NameLength = Get16(h + 28);
  item.ExtraLength = Get16(h + 30);
  item.CommentLength = Get16(h + 32);
  item.DiskStart = Get16(h + 34);
  item.InternalAttr = Get16(h + 36);
  item.ExternalAttr = Get32(h + 38);
  item.LocalHeaderOffset = Get32(h + 42);
}

// Reads exactly count bytes at position, or returns false.
bool ReadAt(TStream& stream, int64_t position, void* out, int64_t count) {
  if (position < 0 || stream.Seek(position, soBeginning) != position) return false;
  return stream.Read(out, count) == count;
}

// The first position at or after start where the 4-byte signature begins and at least
// minRemaining bytes are left; -1 when there is none. Reads blocks of blockSize bytes that
// overlap by 4, so a signature across two blocks is found. The position is restored.
int64_t FindSignature(TStream& stream, int64_t start, uint32_t signature, int64_t minRemaining,
                      int64_t blockSize) {
  int64_t saved = stream.Position();
  int64_t size = stream.Size();
  uint8_t sig[4] = {static_cast<uint8_t>(signature), static_cast<uint8_t>(signature >> 8),
                    static_cast<uint8_t>(signature >> 16), static_cast<uint8_t>(signature >> 24)};
  // A block no larger than what is left to search.
  std::vector<uint8_t> block(static_cast<size_t>(std::clamp<int64_t>(size - start, 4, blockSize)));
  int64_t found = -1;
  for (int64_t pos = std::max<int64_t>(start, 0); found < 0 && pos + 4 <= size;) {
    int64_t n = std::min(static_cast<int64_t>(block.size()), size - pos);
    if (!ReadAt(stream, pos, block.data(), n)) break;
    const uint8_t* hit = std::search(block.data(), block.data() + n, sig, sig + 4);
    if (hit != block.data() + n) {
      int64_t at = pos + (hit - block.data());
      if (size - at >= minRemaining) found = at;
      break;
    }
    if (pos + n >= size) break;
    pos += n - 3;
  }
  stream.Seek(saved, soBeginning);
  return found;
}

// One forward pass over the archive for the recovery scan: finds every local header and data
// descriptor signature in order, reading each byte once through a buffer of kScanBuffer bytes
// that holds kScanReach bytes from every hit (or everything up to the end).
class TSignatureScan {
 public:
  TSignatureScan(TStream& stream, int64_t size)
      : stream_(stream),
        size_(size),
        buffer_(static_cast<size_t>(std::clamp<int64_t>(size, 0, kScanBuffer))) {
    if (stream.Seek(0, soBeginning) != 0) throw EReadError("Stream read error");
  }

  // The position of the next signature, or -1 after the last.
  int64_t Next() {
    while (true) {
      // A hit needs its four bytes, and before the end its reach, inside the buffer.
      if (Held() < size_ && next_ >= Held() - kScanReach) Refill();
      int64_t limit = Held() == size_ ? size_ - 3 : Held() - kScanReach;
      while (next_ < limit) {
        const auto* from = At(next_);
        const auto* hit =
            static_cast<const uint8_t*>(std::memchr(from, 'P', static_cast<size_t>(limit - next_)));
        if (hit == nullptr) {
          next_ = limit;
          break;
        }
        int64_t p = next_ + (hit - from);
        next_ = p + 1;
        uint32_t sig = Get32(hit);
        if (sig == kLocalHeaderSig || sig == kDescriptorSig) return p;
      }
      if (Held() == size_) return -1;
    }
  }
  // The bytes from a position Next returned up to kScanReach further, or to the end.
  const uint8_t* At(int64_t position) const { return buffer_.data() + (position - start_); }

 private:
  int64_t Held() const { return start_ + filled_; }
  // Moves the unscanned bytes to the front and fills the rest of the buffer.
  void Refill() {
    int64_t keep = Held() - next_;
    std::memmove(buffer_.data(), At(next_), static_cast<size_t>(keep));
    start_ = next_;
    filled_ = keep;
    int64_t room = std::min(static_cast<int64_t>(buffer_.size()), size_ - start_);
    while (filled_ < room) {
      int64_t n = stream_.Read(buffer_.data() + filled_, room - filled_);
      if (n <= 0) throw EReadError("Stream read error");
      filled_ += n;
    }
  }

  TStream& stream_;
  int64_t size_;
  std::vector<uint8_t> buffer_;
  int64_t start_ = 0;   // archive position of buffer_[0]
  int64_t filled_ = 0;  // bytes of buffer_ holding archive data
  int64_t next_ = 0;    // where the search goes on
};

// The CRC-32 and sizes of a data descriptor at d, with left bytes from d to the end. After a
// local header with a ZIP64 field, the sizes take 8 bytes each.
void TakeDescriptor(TZipDirItem& item, const uint8_t* d, int64_t left) {
  if (item.HasZip64) {
    if (left < 24) return;
    item.Crc32 = Get32(d + 4);
    item.CompressedSize = item.UncompressedSize = 0xFFFFFFFF;
    item.Zip64CompressedSize = Get64(d + 8);
    item.Zip64UncompressedSize = Get64(d + 16);
  } else if (left >= 16) {
    item.Crc32 = Get32(d + 4);
    item.CompressedSize = Get32(d + 8);
    item.UncompressedSize = Get32(d + 12);
  }
}

}  // namespace

uint64_t TZipDirItem::PackedSize() const {
  return CompressedSize == 0xFFFFFFFF ? Zip64CompressedSize : CompressedSize;
}
uint64_t TZipDirItem::UnpackedSize() const {
  return UncompressedSize == 0xFFFFFFFF ? Zip64UncompressedSize : UncompressedSize;
}
uint64_t TZipDirItem::HeaderOffset() const {
  return LocalHeaderOffset == 0xFFFFFFFF ? Zip64LocalHeaderOffset : LocalHeaderOffset;
}
bool TZipDirItem::IsFolder() const {
  return (ExternalAttr & 0x10) != 0 || (!Name.empty() && Name.back() == '/');
}

std::string LowerName(const std::string& name) {
  // Most names are ASCII: those need no trip through UTF-16.
  if (!HasHighByte(name)) return AsciiLower(name);
  std::u16string s = Utf8ToUtf16(name);
  for (char16_t& c : s) {
    c = c >= 0xC0 && c <= 0xDE && c != 0xD7 ? static_cast<char16_t>(c + 0x20) : AsciiLower(c);
  }
  return Utf16ToUtf8(s);
}

TBaseArchiver::TBaseArchiver(IFileSystem& fileSystem, IPrompt& prompt)
    : fileSystem_(fileSystem), prompt_(prompt) {}

TBaseArchiver::~TBaseArchiver() {
  CloseArchive();
}

TZipArchiver::TZipArchiver(IFileSystem& fileSystem, IPrompt& prompt)
    : TBaseArchiver(fileSystem, prompt) {
  Zip64Mode = zmDisabled;
}

int TBaseArchiver::ItemCount() const {
  return dir_ ? static_cast<int>(dir_->Items.size()) : 0;
}
const TZipDirItem& TBaseArchiver::Item(int index) const {
  return dir_->Items.at(static_cast<size_t>(index));
}
int64_t TBaseArchiver::StubSize() const {
  return dir_ ? dir_->StubSize : 0;
}
int64_t TBaseArchiver::CentralDirStart() const {
  return dir_ ? dir_->CentralDirStart : 0;
}
const std::string& TBaseArchiver::ArchiveComment() const {
  static const std::string empty;
  return dir_ ? dir_->Comment : empty;
}

void TBaseArchiver::CloseArchive() {
  archiveStream_.reset();
  dir_.reset();
  active_ = false;
}

namespace {

// The end of central directory record: its position, or -1 when no candidate is acceptable.
int64_t FindEndRecord(TStream& stream, TZipDirManager& dir) {
  dir.Comment.clear();
  std::memset(dir.EndRecord, 0, sizeof dir.EndRecord);
  int64_t size = stream.Size();
  int64_t window = std::min(kEndSearchWindow, size);
  std::vector<uint8_t> buffer(static_cast<size_t>(window));
  if (window < 4 || !ReadAt(stream, size - window, buffer.data(), window)) return -1;
  // From the end backwards, each 0x06 that closes a signature is a candidate.
  for (size_t end = static_cast<size_t>(window); end >= 4;) {
    auto* last = static_cast<const uint8_t*>(memrchr(buffer.data() + 3, 0x06, end - 3));
    if (last == nullptr) break;
    end = static_cast<size_t>(last - buffer.data());
    if (std::memcmp(last - 3, "PK\x05", 3) != 0) continue;
    int64_t inBuffer = static_cast<int64_t>(end) - 3;
    int64_t position = size - window + inBuffer;
    // The comment length must equal exactly the bytes after the record.
    if (size - position < 22 || Get16(&buffer[inBuffer + 20]) != size - position - 22) continue;
    std::memcpy(dir.EndRecord, &buffer[inBuffer], 22);
    dir.Comment.assign(reinterpret_cast<const char*>(&buffer[inBuffer + 22]),
                       static_cast<size_t>(size - position - 22));
    return position;
  }
  return -1;
}

// The disk number of the end record at endRecordPosition. Writers that keep the numbers in
// the ZIP64 records store 0xFFFF there: the locator's count of disks then gives it.
uint32_t ThisDisk(TStream& stream, const TZipDirManager& dir, int64_t endRecordPosition) {
  uint32_t thisDisk = Get16(dir.EndRecord + 4);
  if (thisDisk != 65535) return thisDisk;
  uint8_t locator[20];
  if (endRecordPosition > 20 && ReadAt(stream, endRecordPosition - 20, locator, 20) &&
      Get32(locator) == 0x07064B50) {
    return Get32(locator + 16) - 1;
  }
  return 0;
}

}  // namespace

void TBaseArchiver::OpenArchive(uint16_t mode) {
  size_t cut = FileName.find_last_of(":/");
  std::string namePart = cut == std::string::npos ? FileName : FileName.substr(cut + 1);
  if (!inMemory_ && namePart.empty()) throw EZipException(10, {}, Name);
  if (mode != 65535 && !FileExists(fileSystem_, FileName) && SpanningMode != smSpanning) {
    throw EZipException(12, {FileName}, Name);
  }
  if (mode != 65535 && inMemory_) throw EZipException(28, {FileName}, Name);
  CloseArchive();
  openMode_ = mode;
  if (mode == 65535 || inMemory_) {
    // Creating archives is not supported by this reader.
    throw EZipException(28, {FileName}, Name);
  }
  SpanningMode = smNone;
  bool found = false;
  {
    // The volume detection never rebuilds a directory; the flag comes back however it ends.
    TRestore<bool> strict(tolerateDamage_, false);
    do {
      dir_.reset();
      if (!archiveStream_) {
        archiveStream_ =
            std::make_unique<TReadAheadStream>(fileSystem_.OpenFile(FileName, openMode_));
      }
      dir_ = std::make_unique<TZipDirManager>();
      // The directory read takes the end record found here.
      dir_->EndRecordPosition = FindEndRecord(*archiveStream_, *dir_);
      found = dir_->EndRecordPosition >= 0;
      DetectVolumes(found, found ? ThisDisk(*archiveStream_, *dir_, dir_->EndRecordPosition) : 0);
    } while (!found && SpanningMode != smNone);
  }
  if (!found && !tolerateDamage_) {
    archiveStream_.reset();
    throw EZipException(48, {}, Name);
  }
  ReadCentralDirectory();
  active_ = true;
  if (AfterOpen) AfterOpen(this);
}

void TBaseArchiver::DetectVolumes(bool endRecordFound, uint32_t thisDisk) {
  // No drive is removable here, so a missing end record never means a spanned set.
  if (!endRecordFound || thisDisk == 0) {
    SpanningMode = smNone;
    return;
  }
  std::string lower = LowerName(FileName);
  if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".exe") == 0) {
    SpanningMode = smNone;
    return;
  }
  size_t dot = FileName.find_last_of("./");
  std::string base =
      dot != std::string::npos && FileName[dot] == '.' ? FileName.substr(0, dot) : FileName;
  SpanningMode = FileExists(fileSystem_, base + ".z01") ? smSplitting : smSpanning;
}

void TBaseArchiver::ReadCentralDirectory() {
  TStream& stream = *archiveStream_;
  TZipDirManager& dir = *dir_;
  dir.Clear();
  dir.StubSize = 0;
  int64_t e = dir.EndRecordPosition;
  if (e < 0) {
    RecoveryScan(false);
    return;
  }
  if (e > 20 && ReadAt(stream, e - 20, dir.Zip64Locator, 20) &&
      Get32(dir.Zip64Locator) == 0x07064B50) {
    dir.Zip64 = true;
    e -= 20;
    int64_t recordAt = static_cast<int64_t>(Get64(dir.Zip64Locator + 8));
    if (e <= 56 || !ReadAt(stream, recordAt, dir.Zip64EndRecord, 56) ||
        Get32(dir.Zip64EndRecord) != 0x06064B50) {
      throw EZipException(40);
    }
    e -= 56;
  }
  const uint8_t* end = dir.EndRecord;
  if (!dir.Zip64 && Get16(end + 10) == 65535) {
    RecoveryScan(true);
    return;
  }
  uint32_t thisDisk = ThisDisk(stream, dir, dir.EndRecordPosition);
  // Other volumes of a split or spanned set are never read (the directory's disk number
  // only matters there); a single file holds it all.
  if (SpanningMode != smNone) throw EZipException(45);

  uint64_t count = dir.Zip64 ? Get64(dir.Zip64EndRecord + 32) : Get16(end + 10);
  uint64_t dirSize = dir.Zip64 ? Get64(dir.Zip64EndRecord + 40) : Get32(end + 12);
  int64_t start = dirSize > static_cast<uint64_t>(e) ? -1 : e - static_cast<int64_t>(dirSize);
  try {
    if (start < 0 || stream.Seek(start, soBeginning) != start) {
      throw EReadError("Stream read error");
    }
    TDirectoryReader reader(stream, dirSize);
    dir.CentralDirStart = start;
    // Every entry takes at least 46 bytes, so a hostile count ends at the first short read.
    for (uint64_t i = 0; i < count; ++i) {
      uint8_t h[46];
      reader.Read(h, 46);
      TZipDirItem& item = dir.Items.emplace_back();
      ParseCentralHeader(h, item);
      item.ActualMethod = item.Method;
      DecodeName(item, reader.ReadString(item.NameLength), false, true);
      ParseExtra(item, reader.ReadString(item.ExtraLength));
      item.Comment = reader.ReadString(item.CommentLength);
    }
  } catch (const Exception&) {
    if (!tolerateDamage_) throw;
    RecoveryScan(true);
    return;
  }
  if (!tolerateDamage_ && SpanningMode == smNone) {
    uint64_t sum = 0;
    for (const TZipDirItem& item : dir.Items) sum += item.CompressedSize;
    if (sum > static_cast<uint64_t>(stream.Size())) throw EZipException(57, {}, Name);
  }
  if (thisDisk == 0) DetectStub();
}

void TBaseArchiver::SetItemName(int index, std::string name) {
  // "\" is the folder separator of stored names, whatever system made the entry.
  std::replace(name.begin(), name.end(), '\\', '/');
  TZipDirItem& item = dir_->Items[static_cast<size_t>(index)];
  auto& names = dir_->NameIndex;
  auto current = names.find(LowerName(item.Name));
  if (current != names.end()) {
    if (current->second != static_cast<size_t>(index)) throw EZipException(59);
    names.erase(current);
  }
  names.emplace(LowerName(name), static_cast<size_t>(index));
  item.Name = std::move(name);
}

void TBaseArchiver::DecodeName(TZipDirItem& item, std::string bytes, bool recovery,
                               bool endRecordFound) {
  bool oem = Options.OEMFileNames && (item.Flags & 0x800) == 0;
  if (oem && (!recovery || endRecordFound)) bytes = OemToAnsi(std::move(bytes));
  std::string name;
  if (!recovery && HasHighByte(bytes) && IsValidUtf8(bytes)) {
    name = bytes;
  } else {
    name = Cp1252ToUtf8(bytes);
  }
  SetItemName(static_cast<int>(&item - dir_->Items.data()), name);
}

void TBaseArchiver::ParseExtra(TZipDirItem& item, const std::string& extra) {
  const auto* data = reinterpret_cast<const uint8_t*>(extra.data());
  size_t left = extra.size();
  while (left >= 4) {
    uint16_t id = Get16(data);
    size_t size = std::min<size_t>(Get16(data + 2), left - 4);
    const uint8_t* block = data + 4;
    if (id == 0x0001) {
      size_t at = 0;
      auto take64 = [&](uint64_t& out) {
        if (at + 8 <= size) out = Get64(block + at);
        at += 8;
      };
      if (item.UncompressedSize == 0xFFFFFFFF) take64(item.Zip64UncompressedSize);
      if (item.CompressedSize == 0xFFFFFFFF) take64(item.Zip64CompressedSize);
      if (item.LocalHeaderOffset == 0xFFFFFFFF) take64(item.Zip64LocalHeaderOffset);
      if (item.DiskStart == 65535 && at + 4 <= size) item.Zip64DiskStart = Get32(block + at);
      item.HasZip64 = true;
    } else if (id == 0x554E && size >= 8 && std::memcmp(block, "NUCX", 4) == 0) {
      // A count longer than the field is cut to the code units present.
      size_t units = std::min<size_t>(Get32(block + 4), (size - 8) / 2);
      std::string utf16(reinterpret_cast<const char*>(block + 8), units * 2);
      SetItemName(static_cast<int>(&item - dir_->Items.data()), Utf16BytesToUtf8(utf16, false));
    } else if (id == 0x9901 && item.VersionNeeded < kStrongEncryptionVersion && size >= 7) {
      uint8_t strength = block[4];
      if (strength >= 1 && strength <= 3) item.EncryptionKind = strength;
      item.ActualMethod = Get16(block + 5);
    }
    data += 4 + size;
    left -= 4 + size;
  }
}

void TBaseArchiver::RecoveryScan(bool endRecordFound) {
  TStream& stream = *archiveStream_;
  TZipDirManager& dir = *dir_;
  dir.Clear();
  if (SpanningMode != smNone) throw EZipException(44);
  int64_t size = stream.Size();
  TSignatureScan scan(stream, size);
  bool headerFound = false;
  // Items with flag bit 3 take the first descriptor signature after their local header.
  std::vector<size_t> awaitingDescriptor;
  for (int64_t p = scan.Next(); p >= 0; p = scan.Next()) {
    const uint8_t* h = scan.At(p);
    if (Get32(h) == kDescriptorSig) {
      for (size_t index : awaitingDescriptor) TakeDescriptor(dir.Items[index], h, size - p);
      awaitingDescriptor.clear();
      continue;
    }
    if (size - p < 30) continue;
    headerFound = true;
    uint32_t compressed = Get32(h + 18);
    uint16_t nameLength = Get16(h + 26);
    uint16_t extraLength = Get16(h + 28);
    if (compressed >= size || nameLength > 260) continue;
    TZipDirItem& item = dir.Items.emplace_back();
    item.VersionNeeded = item.VersionMadeBy = Get16(h + 4);
    item.Flags = Get16(h + 6);
    item.Method = item.ActualMethod = Get16(h + 8);
    item.Time = Get16(h + 10);
    item.Date = Get16(h + 12);
    item.Crc32 = Get32(h + 14);
    item.CompressedSize = compressed;
    item.UncompressedSize = Get32(h + 22);
    item.NameLength = nameLength;
    item.ExtraLength = extraLength;
    item.ExternalAttr = (item.UncompressedSize != 0 || (item.Flags & 8) != 0) ? 0x20 : 0x10;
    item.LocalHeaderOffset = static_cast<uint32_t>(p);
    if (p > 0xFFFFFFFE) {
      item.LocalHeaderOffset = 0xFFFFFFFF;
      item.Zip64LocalHeaderOffset = static_cast<uint64_t>(p);
    }
    int64_t left = size - p - 30;
    const char* fields = reinterpret_cast<const char*>(h + 30);
    DecodeName(item, nameLength <= left ? std::string(fields, nameLength) : std::string(), true,
               endRecordFound);
    if (nameLength + extraLength <= left) {
      ParseExtra(item, std::string(fields + nameLength, extraLength));
    }
    if (item.Flags & 8) awaitingDescriptor.push_back(dir.Items.size() - 1);
  }
  if (!headerFound) throw EZipException(35);
  dir.CentralDirStart = size;
}

void TBaseArchiver::DetectStub() {
  TStream& stream = *archiveStream_;
  TZipDirManager& dir = *dir_;
  if (Get16(dir.EndRecord + 10) == 0) {
    dir.StubSize = dir.EndRecordPosition;
    return;
  }
  if (dir.Items.empty()) return;
  const TZipDirItem& first = dir.Items[0];
  int64_t size = stream.Size();
  for (int64_t p = static_cast<int64_t>(first.HeaderOffset());;) {
    p = FindSignature(stream, p, kLocalHeaderSig, 30, kStubBlock);
    if (p < 0) break;
    uint8_t h[30];
    bool readable = ReadAt(stream, p, h, 30) && p + 30 + Get16(h + 26) <= size;
    if (readable &&
        (p == 0 || (Get16(h + 4) == first.VersionNeeded && Get16(h + 8) == first.Method &&
                    Get16(h + 10) == first.Time && Get16(h + 12) == first.Date &&
                    Get32(h + 14) == first.Crc32 && Get32(h + 18) == first.CompressedSize &&
                    Get32(h + 22) == first.UncompressedSize))) {
      dir.StubSize = p;
      break;
    }
    p += 1;
  }
  auto packed = std::find_if(dir.Items.begin(), dir.Items.end(),
                             [](const TZipDirItem& item) { return item.CompressedSize != 0; });
  if (packed == dir.Items.end() || packed->HeaderOffset() >= static_cast<uint64_t>(dir.StubSize)) {
    return;
  }
  for (TZipDirItem& item : dir.Items) {
    if (item.ExternalAttr & 0x10) continue;
    if (item.LocalHeaderOffset == 0xFFFFFFFF) {
      item.Zip64LocalHeaderOffset += static_cast<uint64_t>(dir.StubSize);
    } else if (item.LocalHeaderOffset + static_cast<uint64_t>(dir.StubSize) < 0xFFFFFFFF) {
      item.LocalHeaderOffset += static_cast<uint32_t>(dir.StubSize);
    } else {
      item.Zip64LocalHeaderOffset = item.LocalHeaderOffset + static_cast<uint64_t>(dir.StubSize);
      item.LocalHeaderOffset = 0xFFFFFFFF;
    }
  }
}

}  // namespace varnel
