// A document's serialisation as UTF-8 pieces, and its conversions.
#include "xmlconfig/xml_dump.h"

#include <libxml/xmlsave.h>

#include <algorithm>
#include <limits>
#include <new>
#include <string>

#include "text/utf.h"
#include "xmlconfig/xml_encoding.h"
#include "xmlconfig/xml_memory.h"

namespace {

// The size of one piece of a dump: small enough for a fragmented 32-bit
// address space, large enough that a piece costs nothing next to its text.
constexpr size_t kDumpPieceBytes = 64 * 1024;

}  // namespace

int XmlDump::Written(void* dump, const char* bytes, int size) {
  if (size < 0) return -1;
  try {
    static_cast<XmlDump*>(dump)->Append(bytes, static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return size;
}

void XmlDump::Append(const char* bytes, size_t size) {
  while (size > 0) {
    if (pieces_.empty() || pieces_.back().size() >= kDumpPieceBytes) {
      // A sequence cut at the end of a piece moves whole into the next one.
      std::vector<char> next;
      next.reserve(kDumpPieceBytes);
      if (!pieces_.empty()) {
        std::vector<char>& last = pieces_.back();
        const size_t end = unicode::Utf8SafeEnd(last.data(), last.size());
        next.assign(last.begin() + static_cast<std::ptrdiff_t>(end), last.end());
        last.resize(end);
      }
      pieces_.push_back(std::move(next));
    }
    std::vector<char>& piece = pieces_.back();
    const size_t n = std::min(size, kDumpPieceBytes - piece.size());
    piece.insert(piece.end(), bytes, bytes + n);
    bytes += n;
    size -= n;
    bytes_ += n;
  }
}

bool XmlDump::Write(xmlDocPtr doc) {
  pieces_.clear();
  bytes_ = 0;
  // An output buffer that cannot grow for a long value drops it and says so
  // only on the console; the save still answers success.
  const XmlAllocationWatch watch;
  const char* declared = reinterpret_cast<const char*>(doc->encoding);
  const bool foreign = declared != nullptr && !NamesUtf8(declared);
  bool written = true;
  if (foreign) {
    // The declaration the library writes for a document in that encoding;
    // versions and encoding names hold no quotes.
    try {
      std::string line = "<?xml version=\"";
      line += doc->version != nullptr ? reinterpret_cast<const char*>(doc->version) : "1.0";
      line += "\" encoding=\"";
      line += declared;
      line += '"';
      if (doc->standalone == 0) line += " standalone=\"no\"";
      if (doc->standalone == 1) line += " standalone=\"yes\"";
      line += "?>\n";
      Append(line.data(), line.size());
    } catch (const std::bad_alloc&) {
      written = false;
    }
  }
  const int options = XML_SAVE_AS_XML | (foreign ? XML_SAVE_NO_DECL : 0);
  xmlSaveCtxtPtr save = written ? xmlSaveToIO(Written, nullptr, this, foreign ? "UTF-8" : declared, options)
                                : nullptr;
  if (save == nullptr) {
    written = false;
  } else {
    if (xmlSaveDoc(save, doc) < 0) written = false;
    if (xmlSaveClose(save) < 0) written = false;
  }
  if (watch.Failed()) written = false;
  if (!written) {
    pieces_.clear();
    pieces_.shrink_to_fit();
    bytes_ = 0;
  }
  return written;
}

WideString XmlDump::TakeWide() {
  // Converted straight into the text: UTF-8 never gives more units than it
  // has bytes, and each piece ends where a sequence ends.
  WideString text;
  text.resize(bytes_);
  size_t units = 0;
  for (std::vector<char>& piece : pieces_) {
    units += unicode::Utf8ToUtf16(piece.data(), piece.size(), &text[units]);
    std::vector<char>().swap(piece);
  }
  text.resize(units);
  pieces_.clear();
  bytes_ = 0;
  return text;
}

WcharText XmlDump::TakeWchar() {
  // UTF-8 never gives more units than it has bytes; the room that stays
  // unwritten goes back once the text is made.
  WcharText text;
  if (bytes_ < std::numeric_limits<size_t>::max() / sizeof(wchar_t)) {
    text.reset(static_cast<wchar_t*>(std::malloc((bytes_ + 1) * sizeof(wchar_t))));
  }
  if (text != nullptr) {
    size_t units = 0;
    for (std::vector<char>& piece : pieces_) {
      units += unicode::Utf8ToWchar(piece.data(), piece.size(), text.get() + units);
      std::vector<char>().swap(piece);
    }
    text[units] = 0;
    if (units < bytes_) {
      if (void* fitted = std::realloc(text.get(), (units + 1) * sizeof(wchar_t))) {
        static_cast<void>(text.release());
        text.reset(static_cast<wchar_t*>(fitted));
      }
    }
  }
  pieces_.clear();
  pieces_.shrink_to_fit();
  bytes_ = 0;
  return text;
}
