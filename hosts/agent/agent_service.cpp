// The agent host's SOAP side over the generated skeleton and the shared runtime.
#include "hosts/agent/agent_service.h"

#include <signal.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <exception>
#include <sstream>
#include <streambuf>
#include <utility>
#include <vector>

#include "agentH.h"
#include "hosts/agent/received_command.h"
#include "platform/standin/loopback_socket.h"
#include "platform/standin/program.h"
#include "platform/network.h"
#include "text/utf.h"
#include "support/err_obj.h"

// From AgentHost.nsmap; set on every context rather than left to the
// runtime's lookup of the global table.
extern SOAP_NMAC struct Namespace namespaces[];

namespace {

volatile sig_atomic_t stopRequested = 0;
volatile platform::Socket listeningSocket = platform::kNoSocket;

void OnStopSignal(int) {
  stopRequested = 1;
  // Wakes the accept() the serve loop is blocked in.
  const platform::Socket socket = listeningSocket;
  if (socket != platform::kNoSocket) platform::Shutdown(socket);
}

size_t (*runtimeReceive)(struct soap*, char*, size_t) = nullptr;
int (*runtimeParseHeader)(struct soap*, const char*, const char*) = nullptr;

// The runtime checks what it has read against recv_maxlength, but allocates
// a body of the announced Content-Length before reading any of it (an HTTP
// status line makes it read the body as a fault's text).
int RefuseOversizedLength(struct soap* soap, const char* key, const char* value) {
  const int status = runtimeParseHeader(soap, key, value);
  if (status != SOAP_OK || soap->length <= soap->recv_maxlength) return status;
  char why[128];
  std::snprintf(why, sizeof why, "request of %" PRIu64 " bytes refused: more than %ld bytes",
                static_cast<uint64_t>(soap->length), AgentService::kMaxRequestBytes);
  std::fprintf(stderr, "quorvil-agent: %s\n", why);
  soap->length = 0;
  soap->keep_alive = 0;
  return soap_set_sender_error(soap, soap_strdup(soap, why), nullptr, 413);
}

// The runtime sends no fault for a body cut short while its own time-outs are
// set, so the host keeps those at zero and bounds a silent peer here instead.
// A time-out or a stop request reads as end of input.
size_t ReceiveWithTimeout(struct soap* soap, char* buffer, size_t length) {
  for (;;) {
    if (stopRequested) return 0;
    const int ready = platform::WaitReadable(static_cast<platform::Socket>(soap->socket),
                                             AgentService::kReceiveTimeoutSeconds * 1000);
    if (ready > 0) return runtimeReceive(soap, buffer, length);
    soap->errnum = ready == 0 ? ETIMEDOUT : soap_socket_errno;
    return 0;
  }
}

WideString Wide(const char* text) {
  return text != nullptr ? unicode::Utf8ToUtf16(text, std::strlen(text)) : WideString();
}

std::string Narrow(const WideString& text) { return unicode::Utf16ToUtf8(text.data(), text.size()); }

// The plug-in takes the list's second part as the first attachment, which
// holds when the envelope part heads the list. The runtime lists parts in
// arrival order, so a message whose start parameter names a later part gets
// that part moved to the head.
void PutEnvelopePartFirst(struct soap* soap) {
  soap_multipart** link = &soap->mime.list;
  if (soap->mime.start == nullptr || *link == nullptr) return;
  for (; *link != nullptr; link = &(*link)->next) {
    soap_multipart* part = *link;
    if (part->id != nullptr && soap_match_cid(soap, soap->mime.start, part->id) == 0) {
      *link = part->next;
      part->next = soap->mime.list;
      soap->mime.list = part;
      return;
    }
  }
}

}  // namespace

int __agent__PostCommand(struct soap* soap, struct _agent__PostCommand* request,
                         struct _agent__PostCommandResponse* response) {
  return static_cast<AgentService*>(soap->user)->HandlePostCommand(soap, request, response);
}

int AgentService::HandlePostCommand(struct soap* soap, const struct _agent__PostCommand* request,
                                    struct _agent__PostCommandResponse* response) {
  if (request == nullptr || request->Name == nullptr || request->Data == nullptr) {
    return soap_sender_fault(soap, "PostCommand needs Name and Data", nullptr);
  }
  std::vector<std::pair<WideString, WideString>> attributes;
  for (int i = 0; i < request->__sizeAttribute; ++i) {
    const agent__Attribute& a = request->Attribute[i];
    if (a.Key == nullptr) return soap_sender_fault(soap, "Attribute without Key", nullptr);
    attributes.emplace_back(Wide(a.Key), Wide(a.__item));
  }
  WideString data = Wide(request->Data);
  if (data.size() > ReceivedCommand::MaxDataUnits()) {
    return soap_sender_fault(soap, "Data is too large for a command", nullptr);
  }
  PutEnvelopePartFirst(soap);
  ReceivedCommand command(soap, Wide(request->Name), std::move(attributes), std::move(data));

  // Whatever the plug-in throws ends this request with a fault, never the host.
  std::string failure;
  try {
    plugin_->entry().PostCommand(&command);
  } catch (ErrObj& error) {
    error.Report(0);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08" PRIX32, error.GetCode());
    failure = std::string("plug-in fault ") + code + ": " + Narrow(error.GetDescription());
  } catch (std::exception& error) {
    failure = std::string("plug-in threw: ") + error.what();
  } catch (...) {
    failure = "plug-in threw an unknown exception";
  }
  if (!failure.empty()) {
    std::fprintf(stderr, "quorvil-agent: %s\n", failure.c_str());
    return soap_receiver_fault(soap, failure.c_str(), nullptr);
  }
  // The plug-in shares the receiving context; what it leaves there besides
  // its allocations is a fault of the plug-in worth seeing.
  if (soap->error != SOAP_OK) {
    std::fprintf(stderr, "quorvil-agent: the plug-in left error %d in the receiving context\n",
                 soap->error);
    soap->error = SOAP_OK;
  }
  if (command.rejectedResults() > 0) {
    std::fprintf(stderr, "quorvil-agent: ignored %d SetResult call(s) whose size was not 4\n",
                 command.rejectedResults());
  }
  response->Result = nullptr;
  if (command.hasResult()) {
    response->Result = static_cast<int*>(soap_malloc(soap, sizeof(int)));
    if (response->Result == nullptr) return soap->error = SOAP_EOM;
    *response->Result = command.result();
  }
  return SOAP_OK;
}

void AgentService::ServeRequest(struct soap* soap) {
  soap->user = this;
  soap->recv_maxlength = kMaxRequestBytes;
  if (runtimeParseHeader == nullptr) runtimeParseHeader = soap->fparsehdr;
  soap->fparsehdr = RefuseOversizedLength;
  soap_set_namespaces(soap, namespaces);
  soap_begin(soap);
  if (soap_begin_recv(soap) || soap_envelope_begin_in(soap) || soap_recv_header(soap) ||
      soap_body_begin_in(soap) || soap_serve_request(soap)) {
    // Input that ends while the runtime still holds the request's method
    // code (a body shorter than its Content-Length) reports that code rather
    // than end of input, and would close without an answer.
    if (soap->error >= SOAP_POST && soap->error <= SOAP_CONNECT) soap->error = SOAP_EOF;
    if (soap->error < SOAP_STOP) {
      soap_send_fault(soap);
    } else {
      soap_closesock(soap);
    }
  }
  soap_destroy(soap);
  soap_end(soap);
}

// Contexts are made with SOAP_C_UTFSTRING, so that strings hold the UTF-8 of
// the message rather than the runtime's narrowing to Latin-1.
void AgentService::RunOnce(const std::string* request, std::string* response) {
  struct soap* soap = soap_new1(SOAP_C_UTFSTRING);
  std::ostringstream out;
  // gSOAP reads the request where it lies, without a copy of its own;
  // without one, it reads standard input.
  struct View : std::streambuf {
    explicit View(const std::string* bytes) {
      if (bytes == nullptr) return;
      char* begin = const_cast<char*>(bytes->data());
      setg(begin, begin, begin + bytes->size());
    }
  } view(request);
  std::istream in(&view);
  if (request != nullptr) soap->is = &in;
  soap->os = &out;
  ServeRequest(soap);
  soap_free(soap);
  *response = out.str();
}

int AgentService::Serve(const std::string& address, int port) {
  struct soap* soap = soap_new1(SOAP_C_UTFSTRING);
  soap->bind_flags = platform::ServerBindFlags();
  // A client that leaves before its answer is written fails the send; SIGPIPE
  // keeps its default here, as in a host that never touches it.
  soap->socket_flags = platform::SendFlagsWithoutSignal();
  if (!soap_valid_socket(soap_bind(soap, address.c_str(), port, 16))) {
    std::fprintf(stderr, "quorvil-agent: cannot listen on %s:%d: %s\n", address.c_str(), port,
                 soap->errnum != 0 ? platform::SocketErrorText(soap->errnum).c_str() : "bind failed");
    soap_destroy(soap);
    soap_end(soap);
    soap_free(soap);
    return 1;
  }
  const int bound = platform::BoundPort(static_cast<platform::Socket>(soap->master));
  const int boundPort = bound != 0 ? bound : port;

  listeningSocket = static_cast<platform::Socket>(soap->master);
  const int status = [&] {
    platform::StopRequests stopRequests(OnStopSignal);
    std::printf("listening on %s:%d\n", address.c_str(), boundPort);
    std::fflush(stdout);

    runtimeReceive = soap->frecv;
    // The runtime's poll drops the fault for a peer that has only stopped
    // sending, the very peer whose request was cut short.
    soap->fpoll = nullptr;
    while (!stopRequested) {
      if (!soap_valid_socket(soap_accept(soap))) {
        if (stopRequested) break;
        std::fprintf(stderr, "quorvil-agent: accept failed: %s\n",
                     platform::SocketErrorText(soap->errnum).c_str());
        return 1;
      }
      soap->frecv = ReceiveWithTimeout;
      ServeRequest(soap);
      soap->frecv = runtimeReceive;
    }
    return 0;
  }();
  listeningSocket = platform::kNoSocket;
  // The failed accept of a stop leaves its fault in the context.
  soap_destroy(soap);
  soap_end(soap);
  soap_free(soap);
  if (status == 0) std::fprintf(stderr, "quorvil-agent: stopped\n");
  return status;
}
