// What the plug-in's own steps cost beside the work they cannot avoid: each
// benchmark stands next to its floor (memcpy, iconv, libxml2's parse+dump).
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <stdsoap2.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/quorvil.h"
#include "plugin/template_op.h"
#include "support/format_string.h"
#include "support/log_module.h"
#include "support/text_conversion.h"

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

std::string Base64(const std::string& text) {
  struct soap* soap = soap_new();
  std::string out = soap_s2base64(soap, reinterpret_cast<const unsigned char*>(text.data()),
                                  nullptr, static_cast<int>(text.size()));
  soap_free(soap);
  return out;
}

void BM_Memcpy(benchmark::State& state) {
  const std::string in = AsciiText(static_cast<size_t>(state.range(0)));
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

void BM_Base64Decode(benchmark::State& state) {
  const std::string in = Base64(AsciiText(static_cast<size_t>(state.range(0))));
  struct soap* soap = soap_new();
  for (auto _ : state) {
    int n = 0;
    benchmark::DoNotOptimize(soap_base642s(soap, in.c_str(), nullptr, in.size(), &n));
    soap_end(soap);
  }
  soap_free(soap);
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
  const WideString message(static_cast<size_t>(state.range(0)), u'm');
  for (auto _ : state) benchmark::DoNotOptimize(FormatString(u"-----xIn:%s", message.c_str()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size() * 2));
}

void BM_Print(benchmark::State& state) {
  const WideString message(static_cast<size_t>(state.range(0)), u'm');
  for (auto _ : state) mainLog.Print(u"-----xIn:%s", message.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size() * 2));
}

// A template of about `size` bytes: Root with CSC element children.
std::string Template(size_t size) {
  std::string t = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root>";
  for (int i = 0; t.size() < size; ++i) {
    t += "<Setting ns=\"CSC\" Name=\"item" + std::to_string(i) +
         "\" Value=\"1280x1024\"><Note>caf\xC3\xA9 &amp; more</Note></Setting>\n";
  }
  return t + "</Root>\n";
}

void BM_ReshapeTemplate(benchmark::State& state) {
  const WideString text = FromUtf8(Template(static_cast<size_t>(state.range(0))));
  for (auto _ : state) {
    WideString payload;
    ReshapeTemplate(text, &payload);
    benchmark::DoNotOptimize(payload);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}

void BM_LibxmlParseDump(benchmark::State& state) {
  const std::string text = Template(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                  XML_PARSE_NONET);
    xmlChar* out = nullptr;
    int n = 0;
    xmlDocDumpMemory(doc, &out, &n);
    benchmark::DoNotOptimize(out);
    xmlFree(out);
    xmlFreeDoc(doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}

constexpr int64_t kKB = 1024, kMB = 1024 * 1024;

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(kMB);
BENCHMARK(BM_DecodeQuotedPrintable)->Arg(kMB);
BENCHMARK(BM_Base64Decode)->Arg(kMB);
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
BENCHMARK(BM_ReshapeTemplate)->Arg(kKB)->Arg(100 * kKB)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibxmlParseDump)->Arg(kKB)->Arg(100 * kKB)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);

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
