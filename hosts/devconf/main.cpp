// devconf-service: stand-in for the agent's local service and the management
// server; answers Set and Get and logs every request as one JSON line.
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "DeviceConfigH.h"
#include "DeviceConfig.nsmap"
#include "platform/network.h"
#include "platform/standin/loopback_socket.h"
#include "platform/standin/program.h"
#include "quorvil/version.h"
#include "service/soap_context.h"

namespace {

struct Options {
  std::string bind = "127.0.0.1";
  int port = 8000;
  int r = 0;
  std::string fault;        // fault code to answer with, empty for none
  std::string faultString = "devconf-service fault";
  long delayMs = 0;
  long count = 0;           // requests to serve before exiting, 0 for no limit
  std::string log;          // JSON lines go here, stdout when empty
  std::string portFile;     // receives the port once listening
};

volatile sig_atomic_t g_stop = 0;
Options g_options;
FILE* g_log = nullptr;

void OnSignal(int) { g_stop = 1; }

void Usage(FILE* out) {
  std::fputs(
      "usage: devconf-service [options]\n"
      "       devconf-service --version\n"
      "  --port N          port to listen on (default 8000, 0 picks a free one)\n"
      "  --bind ADDR       address to listen on (default 127.0.0.1)\n"
      "  --r N             r of every SetResponse (default 0)\n"
      "  --fault CODE      answer Set with a SOAP fault of this code instead\n"
      "                    (Client, Server, MustUnderstand, VersionMismatch or a QName)\n"
      "  --fault-string S  the fault's reason text\n"
      "  --delay MS        wait this long before answering\n"
      "  --count N         exit after N requests\n"
      "  --log FILE        append the request lines to FILE instead of stdout\n"
      "  --port-file FILE  write the port to FILE once listening\n",
      out);
}

bool ParseLong(const char* text, long low, long high, long* value) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != 0 || v < low || v > high) return false;
  *value = v;
  return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      Usage(stdout);
      std::exit(0);
    }
    if (name == "--version") {
      std::puts("devconf-service " QUORVIL_VERSION);
      std::exit(0);
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    long number = 0;
    if (name == "--port" && ParseLong(value, 0, 65535, &number)) {
      options->port = static_cast<int>(number);
    } else if (name == "--bind") {
      options->bind = value;
    } else if (name == "--r" && ParseLong(value, INT32_MIN, INT32_MAX, &number)) {
      options->r = static_cast<int>(number);
    } else if (name == "--fault" && *value != 0) {
      options->fault = std::strchr(value, ':') ? value : std::string("SOAP-ENV:") + value;
    } else if (name == "--fault-string") {
      options->faultString = value;
    } else if (name == "--delay" && ParseLong(value, 0, 3600 * 1000, &number)) {
      options->delayMs = number;
    } else if (name == "--count" && ParseLong(value, 0, 1L << 30, &number)) {
      options->count = number;
    } else if (name == "--log") {
      options->log = value;
    } else if (name == "--port-file") {
      options->portFile = value;
    } else {
      return false;
    }
  }
  return true;
}

void AppendJsonString(std::string* out, const char* text) {
  if (text == nullptr) {
    *out += "null";
    return;
  }
  *out += '"';
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    switch (*p) {
      case '"': *out += "\\\""; break;
      case '\\': *out += "\\\\"; break;
      case '\n': *out += "\\n"; break;
      case '\r': *out += "\\r"; break;
      case '\t': *out += "\\t"; break;
      default:
        if (*p < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", *p);
          *out += escape;
        } else {
          *out += static_cast<char>(*p);
        }
    }
  }
  *out += '"';
}

const char* AddressOf(const wsa__EndpointReferenceType* reference) {
  return reference != nullptr ? reference->Address : nullptr;
}

void LogRequest(struct soap* soap, const char* operation, const wchar_t* xIn) {
  const SOAP_ENV__Header* h = soap->header;
  std::string line = "{\"operation\":";
  AppendJsonString(&line, operation);
  line += ",\"MessageID\":";
  AppendJsonString(&line, h ? h->wsa__MessageID : nullptr);
  line += ",\"From\":";
  AppendJsonString(&line, h ? AddressOf(h->wsa__From) : nullptr);
  line += ",\"ReplyTo\":";
  AppendJsonString(&line, h ? AddressOf(h->wsa__ReplyTo) : nullptr);
  line += ",\"To\":";
  AppendJsonString(&line, h ? h->wsa__To : nullptr);
  line += ",\"Action\":";
  AppendJsonString(&line, h ? h->wsa__Action : nullptr);
  line += ",\"xIn\":";
  AppendJsonString(&line, xIn ? soap_wchar2s(soap, xIn) : nullptr);
  line += "}\n";
  std::fputs(line.c_str(), g_log);
  std::fflush(g_log);
}

void Delay() {
  for (long left = g_options.delayMs; left > 0 && !g_stop; left -= 50)
    std::this_thread::sleep_for(std::chrono::milliseconds(left < 50 ? left : 50));
}

int Answer(struct soap* soap) {
  Delay();
  // The answer carries no header: echoing the request's would be wrong.
  soap->header = nullptr;
  if (g_options.fault.empty()) return SOAP_OK;
  soap_fault(soap);
  *soap_faultcode(soap) = soap_strdup(soap, g_options.fault.c_str());
  *soap_faultstring(soap) = soap_strdup(soap, g_options.faultString.c_str());
  return SOAP_FAULT;
}

}  // namespace

int soap__Set(struct soap* soap, wchar_t* xIn, int& r) {
  LogRequest(soap, "Set", xIn);
  r = g_options.r;
  return Answer(soap);
}

int soap__Get(struct soap* soap, wchar_t* xIn, wchar_t*& xOut) {
  LogRequest(soap, "Get", xIn);
  xOut = xIn;
  return Answer(soap);
}

int main(int argc, char** argv) {
  if (!ParseOptions(argc, argv, &g_options)) {
    Usage(stderr);
    return 2;
  }
  g_log = stdout;
  if (!g_options.log.empty()) {
    g_log = std::fopen(g_options.log.c_str(), "a");
    if (g_log == nullptr) {
      std::fprintf(stderr, "devconf-service: cannot open %s: %s\n", g_options.log.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }

  const platform::StopRequests stopRequests(OnSignal);

  struct soap soap;
  soap_init(&soap);
  soap_set_namespaces(&soap, namespaces);
  soap.fignore = SkipUnknownElement;
  soap.bind_flags = platform::ServerBindFlags();
  // A client that leaves before its answer fails the send, not the service.
  soap.socket_flags = platform::SendFlagsWithoutSignal();
  soap.accept_timeout = -200000;  // wake up five times a second to see a signal
  soap.recv_timeout = 15;
  soap.send_timeout = 15;
  soap.recv_maxlength = 256 * 1024 * 1024;  // templates are large
  soap.maxlength = 0;

  if (!soap_valid_socket(soap_bind(&soap, g_options.bind.c_str(), g_options.port, 16))) {
    soap_print_fault(&soap, stderr);
    soap_done(&soap);
    return 1;
  }
  const int port = platform::BoundPort(static_cast<platform::Socket>(soap.master));
  std::fprintf(stderr, "devconf-service: listening on %s:%d\n", g_options.bind.c_str(), port);
  if (!g_options.portFile.empty()) {
    std::string temporary = g_options.portFile + ".tmp";
    if (FILE* f = std::fopen(temporary.c_str(), "w")) {
      std::fprintf(f, "%d\n", port);
      std::fclose(f);
      std::rename(temporary.c_str(), g_options.portFile.c_str());
    }
  }

  long served = 0;
  while (!g_stop && (g_options.count == 0 || served < g_options.count)) {
    if (!soap_valid_socket(soap_accept(&soap))) {
      if (g_stop || soap.errnum == 0 || soap.errnum == EINTR) continue;
      soap_print_fault(&soap, stderr);
      break;
    }
    if (soap_serve(&soap) != SOAP_OK && g_options.fault.empty()) soap_print_fault(&soap, stderr);
    ++served;
    soap_destroy(&soap);
    soap_end(&soap);
  }
  soap_destroy(&soap);
  soap_end(&soap);
  soap_done(&soap);
  if (g_log != stdout) std::fclose(g_log);
  return 0;
}
