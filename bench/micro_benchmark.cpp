// What the plug-in's own steps cost beside the work they cannot avoid: each
// benchmark stands next to its floor (memcpy, iconv, libxml2's parse+dump).
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <stdsoap2.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/base64.h"
#include "plugin/quorvil.h"
#include "plugin/template_op.h"
#include "support/format_string.h"
#include "support/log_module.h"
#include "support/text_conversion.h"
#include "text/utf.h"

namespace {

std::string AsciiText(size_t size) {
  std::string s;
  s.reserve(size);
  const char* words = "<Display Resolution=\"1280x1024\" ColorDepth=\"32\"/>\n";
  while (s.size() < size) s += words;
  s.resize(size);
  return s;
}

// About one character in ten outside ASCII, as in localised templates.
std::string MixedText(size_t size) {
  std::string s;
  s.reserve(size + 4);
  while (s.size() < size) s += (s.size() % 40 < 36) ? "abcd" : "\xC3\xA9\xE4\xB8\xAD";
  s.resize(size);
  while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) s.pop_back();
  if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xC0) s.pop_back();
  return s;
}

std::string QuotedPrintable(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  size_t column = 0;
  for (unsigned char c : text) {
    std::string piece = (c >= 33 && c <= 126 && c != '=') ? std::string(1, static_cast<char>(c))
                                                           : std::string{'=', hex[c >> 4], hex[c & 15]};
    if (column + piece.size() > 75) {
      out += "=\r\n";
      column = 0;
    }
    out += piece;
    column += piece.size();
  }
  return out;
}

// As the attachment comes: lines of 76 characters ended by CR LF.
std::string Base64(const std::string& text) {
  struct soap* soap = soap_new();
  const std::string line = soap_s2base64(soap, reinterpret_cast<const unsigned char*>(text.data()),
                                         nullptr, static_cast<int>(text.size()));
  soap_end(soap);
  soap_free(soap);
  std::string out;
  for (size_t i = 0; i < line.size(); i += 76) out += line.substr(i, 76) + "\r\n";
  return out;
}

// The floor of both decoders: a copy of the very bytes they read.
void BM_Memcpy(benchmark::State& state, std::string (*make)(const std::string&)) {
  const std::string in = make(AsciiText(static_cast<size_t>(state.range(0))));
  std::vector<char> out(in.size());
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), in.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_DecodeQuotedPrintable(benchmark::State& state) {
  const std::string in = QuotedPrintable(AsciiText(static_cast<size_t>(state.range(0))));
  struct soap* soap = soap_new();
  for (auto _ : state) {
    int32_t n = 0;
    benchmark::DoNotOptimize(DecodeQuotedPrintable(in.data(), soap, static_cast<int32_t>(in.size()), &n));
    soap_end(soap);
  }
  soap_free(soap);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

// The plug-in's decoder (DecodeBase64) beside the runtime's (soap_base642s),
// which answers the same.
using Base64Decoder = const char* (*)(struct soap*, const char*, char*, size_t, int*);

void BM_Base64Decode(benchmark::State& state, Base64Decoder decode) {
  const std::string in = Base64(AsciiText(static_cast<size_t>(state.range(0))));
  struct soap* soap = soap_new();
  for (auto _ : state) {
    int n = 0;
    benchmark::DoNotOptimize(decode(soap, in.c_str(), nullptr, in.size(), &n));
    soap_end(soap);
  }
  soap_free(soap);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

// The check that lets valid UTF-8 templates skip both conversions.
void BM_IsUtf8(benchmark::State& state, std::string (*make)(size_t)) {
  const std::string in = make(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(unicode::IsUtf8(in.data(), in.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

// The payload's conversion: the dump's UTF-8 made into the runtime's wchar_t
// text in one pass (XmlDump::TakeWchar), beside UTF-16 first and then a copy
// into wchar_t, as the payload was made before.
void BM_Utf8ToWchar(benchmark::State& state, std::string (*make)(size_t)) {
  const std::string in = make(static_cast<size_t>(state.range(0)));
  std::vector<wchar_t> out(in.size() + 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(unicode::Utf8ToWchar(in.data(), in.size(), out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Utf8ToUtf16ThenWchar(benchmark::State& state, std::string (*make)(size_t)) {
  const std::string in = make(static_cast<size_t>(state.range(0)));
  std::vector<WideChar> units(in.size() + 1);
  std::vector<wchar_t> out(in.size() + 1);
  for (auto _ : state) {
    const size_t n = unicode::Utf8ToUtf16(in.data(), in.size(), units.data());
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<wchar_t>(units[i]);  // no pairs in these texts
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_FromUtf8(benchmark::State& state, std::string (*make)(size_t)) {
  const std::string in = make(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(FromUtf8(in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_ToUtf8(benchmark::State& state, std::string (*make)(size_t)) {
  const WideString in = FromUtf8(make(static_cast<size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(ToUtf8(in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size() * 2));
}

void BM_IconvFromUtf8(benchmark::State& state, std::string (*make)(size_t)) {
  std::string in = make(static_cast<size_t>(state.range(0)));
  iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
  std::vector<char> out(in.size() * 2 + 2);
  for (auto _ : state) {
    char* src = &in[0];
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    benchmark::ClobberMemory();
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_IconvToUtf8(benchmark::State& state, std::string (*make)(size_t)) {
  WideString wide = FromUtf8(make(static_cast<size_t>(state.range(0))));
  iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
  std::vector<char> out(wide.size() * 3 + 3);
  for (auto _ : state) {
    char* src = reinterpret_cast<char*>(&wide[0]);
    size_t srcLeft = wide.size() * 2;
    char* dst = out.data();
    size_t dstLeft = out.size();
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    benchmark::ClobberMemory();
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * wide.size() * 2));
}

void BM_FormatString(benchmark::State& state) {
  const WideString message(static_cast<size_t>(state.range(0)), WIDE('m'));
  for (auto _ : state) benchmark::DoNotOptimize(FormatString(WIDE("-----xIn:%s"), message.c_str()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size() * 2));
}

void BM_Print(benchmark::State& state) {
  const WideString message(static_cast<size_t>(state.range(0)), WIDE('m'));
  const std::string log = LogFilePath();
  size_t written = 0;
  for (auto _ : state) {
    mainLog.Print(WIDE("-----xIn:%s"), message.c_str());
    // The log is kept short; emptying it now and then costs next to nothing.
    written += message.size();
    if (written > 64 * 1024 * 1024) {
      if (::truncate(log.c_str(), 0) != 0) state.SkipWithError("cannot empty the log");
      written = 0;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size() * 2));
}

// A template of about `size` bytes: Root with element children, of the CSC
// kind (wrapped) or not.
std::string Template(size_t size, bool csc) {
  std::string t = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root>";
  const std::string ns = csc ? "CSC" : "Display";
  for (int i = 0; t.size() < size; ++i) {
    t += "<Setting ns=\"" + ns + "\" Name=\"item" + std::to_string(i) +
         "\" Value=\"1280x1024\"><Note>caf\xC3\xA9 &amp; more</Note></Setting>\n";
  }
  return t + "</Root>\n";
}

double Elapsed(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ReshapeTemplate and its floor, libxml2's own parse and xmlDocDumpMemory of
// the same document, timed in turns within one benchmark so that both see the
// same machine; the reported time is ReshapeTemplate's, the floor and the
// ratio are counters.
void BM_ReshapeTemplateVsLibxml(benchmark::State& state, bool csc) {
  const std::string bytes = Template(static_cast<size_t>(state.range(0)), csc);
  const WideString text = FromUtf8(bytes);
  double reshape = 0, floor = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    WideString payload;
    const bool ok = ReshapeTemplate(text, &payload);
    benchmark::DoNotOptimize(payload);
    const double took = Elapsed(start);
    reshape += took;
    state.SetIterationTime(took);

    start = std::chrono::steady_clock::now();
    xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                  XML_PARSE_NONET);
    const bool parsed = doc != nullptr;
    xmlChar* out = nullptr;
    int n = 0;
    xmlDocDumpMemory(doc, &out, &n);
    benchmark::DoNotOptimize(out);
    xmlFree(out);
    xmlFreeDoc(doc);
    floor += Elapsed(start);
    if (!ok || !parsed) state.SkipWithError("the template did not parse");
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["floor_ms"] = floor / iterations * 1e3;
  state.counters["ratio"] = reshape / floor;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

constexpr int64_t kKB = 1024, kMB = 1024 * 1024;

}  // namespace

BENCHMARK_CAPTURE(BM_Memcpy, quoted_printable, QuotedPrintable)->Arg(kMB);
BENCHMARK(BM_DecodeQuotedPrintable)->Arg(kMB);
BENCHMARK_CAPTURE(BM_Memcpy, base64, Base64)->Arg(kMB);
BENCHMARK_CAPTURE(BM_Base64Decode, runtime, soap_base642s)->Arg(kMB);
BENCHMARK_CAPTURE(BM_Base64Decode, quorvil, DecodeBase64)->Arg(kMB);
BENCHMARK_CAPTURE(BM_IsUtf8, ascii, AsciiText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_IsUtf8, mixed, MixedText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_Utf8ToWchar, ascii, AsciiText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_Utf8ToWchar, mixed, MixedText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_Utf8ToUtf16ThenWchar, ascii, AsciiText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_Utf8ToUtf16ThenWchar, mixed, MixedText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_FromUtf8, ascii, AsciiText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_IconvFromUtf8, ascii, AsciiText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_FromUtf8, mixed, MixedText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_IconvFromUtf8, mixed, MixedText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_ToUtf8, ascii, AsciiText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_IconvToUtf8, ascii, AsciiText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_ToUtf8, mixed, MixedText)->Arg(kMB);
BENCHMARK_CAPTURE(BM_IconvToUtf8, mixed, MixedText)->Arg(kMB);
BENCHMARK(BM_FormatString)->Arg(40)->Arg(kMB);
BENCHMARK(BM_Print)->Arg(40)->Arg(kMB);
BENCHMARK_CAPTURE(BM_ReshapeTemplateVsLibxml, plain, false)
    ->Arg(kKB)->Arg(100 * kKB)->Arg(kMB)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReshapeTemplateVsLibxml, plain, false)
    ->Arg(10 * kMB)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReshapeTemplateVsLibxml, csc, true)
    ->Arg(kKB)->Arg(100 * kKB)->Arg(kMB)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReshapeTemplateVsLibxml, csc, true)
    ->Arg(10 * kMB)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  // The log goes to a machine root of the benchmark's own.
  if (std::getenv("QUORVIL_ROOT") == nullptr) {
    std::fprintf(stderr, "set QUORVIL_ROOT to a scratch folder (scripts/bench does)\n");
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
