// quorvil-template: what a terminal would make of a template before it goes
// to the fleet, from the plug-in's own reading and reshaping code, with no
// network, no machine root and no log.
#include <libxml/xmlerror.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "hosts/template/template_check.h"
#include "platform/files.h"
#include "platform/standin/program.h"
#include "quorvil/version.h"
#include "text/utf.h"

namespace {

const char kUsage[] =
    "usage: quorvil-template check [--json] [--encoding ENC] FILE...\n"
    "       quorvil-template show [--encoding ENC] FILE\n"
    "       quorvil-template --version\n"
    "\n"
    "Reads template files as a terminal's plug-in reads a TemplateConfig\n"
    "attachment, with the plug-in's own code, and sends nothing.\n"
    "\n"
    "commands:\n"
    "  check FILE...   one line a file: delivered, or refused and why (not\n"
    "                  well-formed, with libxml2's line, column and message; no\n"
    "                  Root; entities or attribute values over their limits);\n"
    "                  the encoding it was read in and the bytes replaced by\n"
    "                  U+FFFD; whether it is a CSC template; its size and the\n"
    "                  payload's size\n"
    "  show FILE       the payload exactly as the local service would receive it\n"
    "                  (the xIn text, UTF-8), with Template, OS and the\n"
    "                  CSCTemplateConfig wrap\n"
    "\n"
    "options:\n"
    "  --encoding ENC  the file is the attachment in this transfer encoding:\n"
    "                  8bit (the default: the file is the template), base64 or\n"
    "                  quoted-printable (also none, 7bit, binary: as 8bit)\n"
    "  --json          check: one JSON object a line and file\n"
    "\n"
    "Exit status: 0 every file would be delivered, 1 a file would be refused or\n"
    "cannot be read, 2 usage.\n";

int Usage(const std::string& message) {
  std::fprintf(stderr, "quorvil-template: %s (try --help)\n", message.c_str());
  return 2;
}

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// The file's bytes, or false with why it cannot be read. A file larger than
// the command reads is not read: `tooLarge` is set and `size` is known.
bool ReadFileBytes(const std::string& file, std::string* bytes, size_t* size, bool* tooLarge,
                   std::string* why) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path path = fs::u8path(file);
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) {
    *why = "no such file";
    return false;
  }
  if (fs::is_directory(status)) {
    *why = "it is a folder";
    return false;
  }
  *tooLarge = false;
  if (fs::is_regular_file(status)) {
    const uintmax_t length = fs::file_size(path, error);
    if (!error && length > kLargestAttachment) {
      *size = static_cast<size_t>(length);
      *tooLarge = true;
      return true;
    }
    if (!error) bytes->reserve(static_cast<size_t>(length));
  }
  if (!platform::ReadFileBytes(unicode::Utf8ToUtf16(file.data(), file.size()), bytes,
                              kLargestAttachment)) {
    *why = std::strerror(errno);
    return false;
  }
  *size = bytes->size();
  *tooLarge = *size > kLargestAttachment;
  return true;
}

bool ReadTemplateFile(const std::string& file, std::string* bytes, size_t* size, bool* tooLarge,
                      std::string* why) {
  try {
    return ReadFileBytes(file, bytes, size, tooLarge, why);
  } catch (const std::bad_alloc&) {
    *why = "this program ran out of memory reading it";
    return false;
  }
}

// False when this process ran out of memory before the command's verdict
// was had: no verdict then.
bool CheckFile(const std::string& bytes, size_t size, bool tooLarge, int encoding,
               const std::string& encodingName, TemplateCheck* check) {
  try {
    *check = tooLarge ? CheckTooLarge(size, encodingName)
                      : CheckTemplate(bytes.data(), bytes.size(), encoding, encodingName);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

const char kNoMemory[] = "cannot be checked: this program ran out of memory";

// The payload as UTF-8, a slice at a time: a large one is not held twice.
bool WritePayload(const WideString& payload) {
  constexpr size_t kSlice = 8192;
  char out[3 * kSlice];
  const WideChar* text = payload.data();
  size_t units = payload.size();
  while (units > 0) {
    size_t n = units < kSlice ? units : kSlice;
    if (n < units && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    const size_t bytes = unicode::Utf16ToUtf8(text, n, out);
    if (std::fwrite(out, 1, bytes, stdout) != bytes) return false;
    text += n;
    units -= n;
  }
  return std::fflush(stdout) == 0;
}

void IgnoreLibraryMessages(void*, const char*, ...) {}

int TemplateMain(const std::vector<std::string>& argv) {
  // The payload is bytes; lines end in LF on every system.
  platform::SetBinaryStandardStreams();
  xmlSetGenericErrorFunc(nullptr, IgnoreLibraryMessages);
  if (argv.size() < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::puts("quorvil-template " QUORVIL_VERSION);
    return 0;
  }
  if (command != "check" && command != "show") return Usage("unknown command " + command);

  bool json = false, optionsEnded = false;
  std::string encodingName = "8bit";
  int encoding = 0;
  TransferEncodingNamed(encodingName, &encoding);
  std::vector<std::string> files;
  for (size_t i = 2; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      files.push_back(a);
    } else if (a == "--") {
      optionsEnded = true;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--json" && command == "check") {
      json = true;
    } else if (a == "--encoding" && i + 1 < argv.size()) {
      encodingName = argv[++i];
      if (!TransferEncodingNamed(encodingName, &encoding)) {
        return Usage("unknown encoding " + encodingName +
                     " (8bit, base64, quoted-printable, none, 7bit, binary)");
      }
    } else {
      return Usage("unexpected argument " + a);
    }
  }
  if (files.empty()) return Usage(command + " needs a FILE");
  if (command == "show" && files.size() > 1) return Usage("show takes one FILE");

  if (command == "show") {
    std::string bytes, why;
    size_t size = 0;
    bool tooLarge = false;
    if (!ReadTemplateFile(files[0], &bytes, &size, &tooLarge, &why)) {
      std::fprintf(stderr, "quorvil-template: %s\n", UnreadableLine(files[0], why).c_str());
      return 1;
    }
    TemplateCheck check;
    if (!CheckFile(bytes, size, tooLarge, encoding, encodingName, &check)) {
      std::fprintf(stderr, "quorvil-template: %s: %s\n", files[0].c_str(), kNoMemory);
      return 1;
    }
    if (!check.delivered) {
      std::fprintf(stderr, "quorvil-template: %s\n", CheckLine(files[0], check).c_str());
      return 1;
    }
    if (!WritePayload(check.payload)) {
      std::fprintf(stderr, "quorvil-template: cannot write the payload\n");
      return 1;
    }
    return 0;
  }

  int status = 0;
  for (const std::string& file : files) {
    std::string bytes, why;
    size_t size = 0;
    bool tooLarge = false;
    if (!ReadTemplateFile(file, &bytes, &size, &tooLarge, &why)) {
      Print(json ? UnreadableJson(file, why) : UnreadableLine(file, why));
      status = 1;
      continue;
    }
    TemplateCheck check;
    if (!CheckFile(bytes, size, tooLarge, encoding, encodingName, &check)) {
      Print(json ? UnreadableJson(file, kNoMemory) : file + ": " + kNoMemory);
      status = 1;
      continue;
    }
    Print(json ? CheckJson(file, check) : CheckLine(file, check));
    if (!check.delivered) status = 1;
  }
  return std::fflush(stdout) == 0 ? status : 1;
}

}  // namespace

int main(int argc, char** argv) { return TemplateMain(platform::ProgramArguments(argc, argv)); }
