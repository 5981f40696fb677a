// CallSet against loopback peers: the request on the wire, the handling of
// responses, refused arguments, the proxy and the receive time-out.
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "service/call_set.h"
#include "service/local_address.h"
#include "support/text_conversion.h"
#include "tests/service/service_test_support.h"
#include "tests/common/test_support.h"

namespace {

using namespace service_test;
using testing_support::ProcessResult;
using testing_support::ProgramText;
using testing_support::RunProcess;
using testing_support::TempDir;

const char kUnavailable[] = "\xB4\xFA\xC0\xED\xB2\xBB\xBF\xC9\xD3\xC3\n";  // 代理不可用
const char kNotEnabled[] = "\xB4\xFA\xC0\xED\xCE\xB4\xBF\xAA\xC6\xF4\n";   // 代理未开启

const std::string kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SOAP-ENV:Envelope"
    " xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
    " xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
    " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
    " xmlns:soap=\"urn:quorvil:device-configuration\">";

std::string ExpectedSetRequest(const std::string& messageId, const std::string& from,
                               const std::string& to, const std::string& escapedPayload) {
  return kEnvelopeStart + "<SOAP-ENV:Header><wsa:MessageID>" + messageId +
         "</wsa:MessageID><wsa:From><wsa:Address xsi:type=\"xsd:string\">" + from +
         "</wsa:Address></wsa:From><wsa:To>" + to + "</wsa:To><wsa:Action>" + to +
         "</wsa:Action></SOAP-ENV:Header><SOAP-ENV:Body><soap:Set>"
         "<soap:xIn xsi:type=\"xsd:string\">" +
         escapedPayload + "</soap:xIn></soap:Set></SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n";
}

struct Outcome {
  int status;
  int32_t result;
};

Outcome CallPeerWith(const std::string& reply) {
  CapturePeer peer;
  peer.Reply(reply);
  int32_t result = 1234;
  int status = CallSet(peer.Url().c_str(), WIDE("<Doc/>"), &result);
  return {status, result};
}

std::string OurAddressList() {
  char buffer[260] = {};
  GetLocalAddressList(buffer);
  return buffer;
}

// The probe program copied into an agent folder of its own.
class AgentFolder {
 public:
  AgentFolder() {
    namespace fs = std::filesystem;
    const std::string name = testing_support::ProgramFileName("call_set_probe");
    probe_ = dir_.path() + "/" + name;
    fs::copy_file(testing_support::BuildDir() + "/tests/service/" + name, probe_);
    fs::permissions(probe_, fs::perms::owner_all);
  }
  void WriteProxySettings(const std::string& text) {
    std::filesystem::create_directories(dir_.path() + "/Conf");
    testing_support::WriteFile(dir_.path() + "/Conf/ProxyInfo.xml", text);
  }
  ProcessResult Call(const std::string& endpoint, const std::string& payload = "<Doc/>") {
    ProcessResult run = RunProcess({probe_, endpoint, payload});
    run.out = ProgramText(run.out);
    run.err = ProgramText(run.err);
    return run;
  }

 private:
  TempDir dir_;
  std::string probe_;
};

TEST(CallSetWire, RequestMatchesTheWireFormAndTransportExactly) {
  CapturePeer peer;
  peer.Reply(HttpOk(Soap11(SetResponse("<s:r>7</s:r>"))));
  int32_t result = 0;
  ASSERT_EQ(CallSet(peer.Url().c_str(), WIDE("<Doc/>"), &result), 0);
  EXPECT_EQ(result, 7);

  auto requests = peer.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const HttpRequest& request = requests[0];
  std::string messageId = ElementText(request.body, "wsa:MessageID");
  EXPECT_EQ(request.body, ExpectedSetRequest(messageId, OurAddressList(), peer.Url(),
                                             "&lt;Doc/&gt;"));
  EXPECT_EQ(request.head, "POST /svc HTTP/1.1\r\n"
                          "Host: 127.0.0.1:" + std::to_string(peer.port()) + "\r\n"
                          "User-Agent: gSOAP/2.8\r\n"
                          "Content-Type: text/xml; charset=utf-8\r\n"
                          "Content-Length: " + std::to_string(request.body.size()) + "\r\n"
                          "Connection: close\r\n"
                          "SOAPAction: \"\"");
}

TEST(CallSetWire, PayloadTravelsAsEscapedTextAndDecodesToTheSameDocument) {
  CapturePeer peer;
  peer.Reply(HttpOk(Soap11(SetResponse("<s:r>0</s:r>"))));
  const WideString payload =
      WIDE("<?xml version=\"1.0\"?>\r\n<Root a=\"1\">\n\t<T>x &amp; y \u00e9\u4e2d\U0001F600</T>\n</Root>");
  int32_t result = 5;
  ASSERT_EQ(CallSet(peer.Url().c_str(), payload.c_str(), &result), 0);
  ASSERT_EQ(peer.Requests().size(), 1u);
  std::string xIn = ElementText(peer.Requests()[0].body, "soap:xIn");
  // Line feeds travel raw with gSOAP 2.8; the decoded text is what counts.
  EXPECT_EQ(xIn,
            "&lt;?xml version=\"1.0\"?&gt;&#xD;\n&lt;Root a=\"1\"&gt;\n\t&lt;T&gt;x &amp;amp; y "
            "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80&lt;/T&gt;\n&lt;/Root&gt;");
  EXPECT_EQ(DecodeXmlText(xIn), ToUtf8(payload));
}

TEST(CallSetWire, WcharPayloadGoesOutAsTheSameTextInUtf16Does) {
  // The plug-in's own path: the text already in the runtime's wchar_t.
  const WideString units =
      WIDE("<?xml version=\"1.0\"?>\r\n<Root a=\"&quot;\">\t\u00e9\u4e2d\U0001F600 &amp; \uFFFD]]></Root>\n");
  std::wstring wide;
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (sizeof(wchar_t) == 4 && c >= 0xD800 && c <= 0xDBFF) c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    wide += static_cast<wchar_t>(c);
  }
  std::string bodies[2];
  for (int path = 0; path < 2; ++path) {
    CapturePeer peer;
    peer.Reply(HttpOk(Soap11(SetResponse("<s:r>3</s:r>"))));
    int32_t result = 0;
    const int status = path == 0 ? CallSet(peer.Url().c_str(), units.c_str(), &result)
                                 : CallSetWchar(peer.Url().c_str(), wide.c_str(), &result);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(result, 3);
    ASSERT_EQ(peer.Requests().size(), 1u);
    bodies[path] = peer.Requests()[0].body;
    // Alike but for the message identifier and the peer's port.
    const std::string id = ElementText(bodies[path], "wsa:MessageID");
    bodies[path].replace(bodies[path].find(id), id.size(), "ID");
    for (size_t at; (at = bodies[path].find(peer.Url())) != std::string::npos;) {
      bodies[path].replace(at, peer.Url().size(), "URL");
    }
  }
  EXPECT_EQ(bodies[1], bodies[0]);
  int32_t result = 1234;
  EXPECT_EQ(CallSetWchar("http://127.0.0.1:9", L"", &result), 2);
  EXPECT_EQ(CallSetWchar("http://127.0.0.1:9", nullptr, &result), 2);
  EXPECT_EQ(result, 1234);
}

TEST(CallSetWire, MessageIdIsTheTickCountAndFromIsTheAddressList) {
  CapturePeer peer;
  peer.Reply(HttpOk(Soap11(SetResponse("<s:r>0</s:r>"))));
  int32_t result = 0;
  int64_t before = static_cast<int32_t>(platform::TickCount());
  ASSERT_EQ(CallSet(peer.Url().c_str(), WIDE("x"), &result), 0);
  int64_t after = static_cast<int32_t>(platform::TickCount());
  ASSERT_EQ(peer.Requests().size(), 1u);
  const std::string body = peer.Requests()[0].body;
  const std::string id = ElementText(body, "wsa:MessageID");
  ASSERT_TRUE(std::regex_match(id, std::regex("-?[0-9]+"))) << id;
  if (before <= after) {  // the count did not wrap during the call
    EXPECT_GE(std::stoll(id), before);
    EXPECT_LE(std::stoll(id), after);
  }
  const std::string from = ElementText(body, "wsa:Address");
  EXPECT_TRUE(std::regex_match(from, std::regex("0(,[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+)*"))) << from;
  EXPECT_EQ(from, OurAddressList());
}

TEST(CallSetResponse, FaultCodesGiveTheirStatusesAndResultReadsZero) {
  struct Case {
    std::string envelope;
    int status;
  } cases[] = {
      {Soap11(Fault11("env:Client")), 1},       {Soap12(Fault12("env:Sender")), 1},
      {Soap11(Fault11("env:Server")), 2},       {Soap12(Fault12("env:Receiver")), 2},
      {Soap11(Fault11("env:MustUnderstand")), 8}, {Soap11(Fault11("env:VersionMismatch")), 39},
      {Soap11(Fault11("s:SomethingElse")), 12},
  };
  for (const Case& c : cases) {
    CapturePeer peer;
    peer.Reply("HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/xml\r\nContent-Length: " +
               std::to_string(c.envelope.size()) + "\r\nConnection: close\r\n\r\n" + c.envelope);
    int32_t result = 1234;
    EXPECT_EQ(CallSet(peer.Url().c_str(), WIDE("<Doc/>"), &result), c.status) << c.envelope;
    EXPECT_EQ(result, 0) << c.envelope;
  }
  // Also with HTTP 200 around the fault.
  EXPECT_EQ(CallPeerWith(HttpOk(Soap11(Fault11("env:Server")))).status, 2);
}

TEST(CallSetResponse, BodyWithoutSetResponseIsATagMismatchNeverSuccess) {
  for (const std::string& body : {std::string("<s:Other><s:r>9</s:r></s:Other>"), std::string(),
                                  std::string("<s:GetResponse><s:xOut>a</s:xOut></s:GetResponse>")}) {
    Outcome outcome = CallPeerWith(HttpOk(Soap11(body)));
    EXPECT_EQ(outcome.status, 3) << body;
    EXPECT_EQ(outcome.result, 0) << body;
  }
}

TEST(CallSetResponse, SetResponseWithoutRFailsWithMissingElementAndResultReadsZero) {
  for (const std::string& inner : {std::string(), std::string("<s:other>5</s:other>")}) {
    Outcome outcome = CallPeerWith(HttpOk(Soap11(SetResponse(inner))));
    EXPECT_EQ(outcome.status, 44) << inner;
    EXPECT_EQ(outcome.result, 0) << inner;
  }
  Outcome empty = CallPeerWith(HttpOk(Soap11("<s:SetResponse/>")));
  EXPECT_EQ(empty.status, 44);
  EXPECT_EQ(empty.result, 0);
}

TEST(CallSetResponse, BadValuesOrTypesOfRAreTypeErrors) {
  for (const std::string& r :
       {std::string("<s:r>6x</s:r>"), std::string("<s:r>2147483648</s:r>"),
        std::string("<s:r>-2147483649</s:r>"), std::string("<s:r>4294967296</s:r>"),
        std::string("<s:r xsi:type=\"xsd:string\">6</s:r>"),
        std::string("<s:r xsi:type=\"xsd:unsignedInt\">6</s:r>")}) {
    Outcome outcome = CallPeerWith(HttpOk(Soap11(SetResponse(r))));
    EXPECT_EQ(outcome.status, 4) << r;
    EXPECT_EQ(outcome.result, 0) << r;
  }
}

TEST(CallSetResponse, AcceptedValuesTypesAndPlacesOfR) {
  struct Case {
    std::string envelope;
    int32_t r;
  } cases[] = {
      {Soap11(SetResponse("<s:r>-2147483648</s:r>")), INT32_MIN},
      {Soap11(SetResponse("<s:r>2147483647</s:r>")), INT32_MAX},
      {Soap11(SetResponse("<s:r xsi:type=\"xsd:long\">11</s:r>")), 11},
      {Soap11(SetResponse("<s:r xsi:type=\"xsd:int\">12</s:r>")), 12},
      {Soap11(SetResponse("<s:r xsi:type=\"xsd:short\">13</s:r>")), 13},
      {Soap11(SetResponse("<s:a>1</s:a><s:r>14</s:r><s:b><s:c/></s:b>")), 14},
      {Soap12(SetResponse("<s:r>15</s:r>")), 15},
      {Soap11(SetResponse("<s:r>16</s:r>"), "<x:Note xmlns:x=\"urn:x\">hi</x:Note>"), 16},
      {Soap11(SetResponse("<s:r>17</s:r>"), "<wsa:To xmlns:wsa=\"http://schemas.xmlsoap.org/ws/"
                                            "2004/08/addressing\">urn:back</wsa:To>"), 17},
  };
  for (const Case& c : cases) {
    Outcome outcome = CallPeerWith(HttpOk(c.envelope));
    EXPECT_EQ(outcome.status, 0) << c.envelope;
    EXPECT_EQ(outcome.result, c.r) << c.envelope;
  }
}

// Whatever HTTP status carries a body, the body decides the status, and the
// fault report on standard error says what the body was.
TEST(CallSetResponse, BodyDecidesTheStatusUnderHttp200And400And500) {
  const struct {
    std::string body;
    int status;
    const char* report;
  } bodies[] = {
      {"<s:Other><s:r>9</s:r></s:Other>", 3, "tag name or namespace mismatch"},
      {SetResponse("<s:other>5</s:other>"), 44, "SOAP 1.1 fault SOAP-ENV:Client"},
      {SetResponse("<s:r>6x</s:r>"), 4, "SOAP 1.1 fault SOAP-ENV:Client"},
      {Fault11("env:Server"), 2, "refused by the test"},
  };
  AgentFolder agent;
  for (const char* http : {"200 OK", "400 Bad Request", "500 Internal Server Error"}) {
    for (const auto& b : bodies) {
      const std::string envelope = Soap11(b.body);
      CapturePeer peer;
      peer.Reply(std::string("HTTP/1.1 ") + http +
                 "\r\nContent-Type: text/xml\r\nContent-Length: " +
                 std::to_string(envelope.size()) + "\r\nConnection: close\r\n\r\n" + envelope);
      ProcessResult run = agent.Call(peer.Url());
      const std::string what = std::string(http) + " " + b.body;
      EXPECT_EQ(run.out.substr(run.out.find("status=")),
                "status=" + std::to_string(b.status) + " result=0\n")
          << what;
      EXPECT_NE(run.err.find(b.report), std::string::npos) << what << "\n" << run.err;
      EXPECT_EQ(run.err.find("HTTP"), std::string::npos) << what << "\n" << run.err;
    }
  }
}

TEST(CallSetResponse, ServerFaultWithAMegabyteFaultStringWithinTheResponseCapIsTwo) {
  const std::string envelope = Soap11("<env:Fault><faultcode>env:Server</faultcode><faultstring>" +
                                      std::string(1000000, 'x') + "</faultstring></env:Fault>");
  ASSERT_LT(envelope.size(), 1024u * 1024u - 200u);
  Outcome outcome = CallPeerWith(
      "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/xml\r\nContent-Length: " +
      std::to_string(envelope.size()) + "\r\nConnection: close\r\n\r\n" + envelope);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.result, 0);
}

TEST(CallSetResponse, UnknownMustUnderstandHeaderFailsWithStatusEight) {
  Outcome outcome = CallPeerWith(HttpOk(Soap11(
      SetResponse("<s:r>3</s:r>"),
      "<x:Note xmlns:x=\"urn:x\" env:mustUnderstand=\"1\">hi</x:Note>")));
  EXPECT_EQ(outcome.status, 8);
  EXPECT_EQ(outcome.result, 0);
}

TEST(CallSetArguments, RefusedArgumentsAnswerTwoWithNothingPrintedAndResultUntouched) {
  AgentFolder agent;
  agent.WriteProxySettings("127.0.0.1 1 false");  // any read would print
  const std::string longEndpoint = "http://127.0.0.1:8000/" + std::string(238, 'a');
  ASSERT_EQ(longEndpoint.size(), 260u);
  for (const auto& args : {std::pair<std::string, std::string>{"http://0.0.0.0:8000", "<Doc/>"},
                           {"http://example.invalid/?u=http://0.0.0.0", "<Doc/>"},
                           {"http://127.0.0.1:8000", ""},
                           {"", "<Doc/>"}}) {
    ProcessResult run = agent.Call(args.first, args.second);
    EXPECT_EQ(run.out, "status=2 result=1234\n") << args.first;
    EXPECT_EQ(run.err, "") << args.first;
  }
  // An endpoint too long for its buffer is refused whole, never cut, and the
  // refusal is said on standard error.
  ProcessResult run = agent.Call(longEndpoint, "<Doc/>");
  EXPECT_EQ(run.out, "status=2 result=1234\n");
  EXPECT_EQ(run.err, "CallSet: endpoint longer than 259 characters; not sent\n");
}

TEST(CallSetArguments, NullArgumentsAreRefused) {
  int32_t result = 1234;
  EXPECT_EQ(CallSet(nullptr, WIDE("x"), &result), 2);
  EXPECT_EQ(CallSet("http://127.0.0.1:1/x", nullptr, &result), 2);
  EXPECT_EQ(result, 1234);
  EXPECT_EQ(CallSet("http://127.0.0.1:1/x", WIDE("x"), nullptr), 2);
}

TEST(CallSetArguments, EndpointOfTwoHundredFiftyNineCharactersIsSentWhole) {
  CapturePeer peer;
  peer.Reply(HttpOk(Soap11(SetResponse("<s:r>1</s:r>"))));
  std::string endpoint = peer.Url("/");
  endpoint += std::string(259 - endpoint.size(), 'p');
  int32_t result = 0;
  ASSERT_EQ(CallSet(endpoint.c_str(), WIDE("x"), &result), 0);
  ASSERT_EQ(peer.Requests().size(), 1u);
  EXPECT_EQ(peer.Requests()[0].RequestLine(),
            "POST /" + std::string(259 - peer.Url("/").size(), 'p') + " HTTP/1.1");
  EXPECT_EQ(ElementText(peer.Requests()[0].body, "wsa:To"), endpoint);
}

TEST(CallSetArguments, ConnectionFailureLeavesResultUntouchedAndReportsTheFault) {
  AgentFolder agent;
  ProcessResult run = agent.Call("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x");
  EXPECT_EQ(run.out, std::string(kUnavailable) + "status=28 result=1234\n");
  EXPECT_NE(run.err.find("SOAP 1.1 fault SOAP-ENV:Server"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Connection refused"), std::string::npos) << run.err;
}

TEST(CallSetProxy, RemoteEndpointGoesThroughTheProxyWhileToAndActionNameIt) {
  CapturePeer proxy;
  proxy.Reply(HttpOk(Soap11(SetResponse("<s:r>21</s:r>"))));
  AgentFolder agent;
  agent.WriteProxySettings("127.0.0.1\n" + std::to_string(proxy.port()) + "\ntrue\n");
  ProcessResult run = agent.Call("http://127.0.0.2:9000/svc");
  const std::string rewritten = "http://127.0.0.1:" + std::to_string(proxy.port()) + "/svc";
  EXPECT_EQ(run.out, rewritten + "\nstatus=0 result=21\n");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  const HttpRequest request = proxy.Requests()[0];
  EXPECT_EQ(request.RequestLine(), "POST /svc HTTP/1.1");
  EXPECT_EQ(request.Header("Host"), "127.0.0.1:" + std::to_string(proxy.port()));
  EXPECT_EQ(ElementText(request.body, "wsa:To"), "http://127.0.0.2:9000/svc");
  EXPECT_EQ(ElementText(request.body, "wsa:Action"), "http://127.0.0.2:9000/svc");
  EXPECT_EQ(ElementText(request.body, "wsa:Address").substr(0, 1), "1");
}

TEST(CallSetProxy, HttpsLocalEndpointCountsAsRemoteAndBecomesPlainHttpThroughTheProxy) {
  CapturePeer proxy;
  proxy.Reply(HttpOk(Soap11(SetResponse("<s:r>22</s:r>"))));
  AgentFolder agent;
  agent.WriteProxySettings("127.0.0.1 " + std::to_string(proxy.port()) + " true");
  ProcessResult run = agent.Call("https://127.0.0.1:8000/x");
  EXPECT_EQ(run.out, "http://127.0.0.1:" + std::to_string(proxy.port()) + "/x\nstatus=0 result=22\n");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].RequestLine(), "POST /x HTTP/1.1");
  EXPECT_EQ(ElementText(proxy.Requests()[0].body, "wsa:To"), "https://127.0.0.1:8000/x");
}

TEST(CallSetProxy, LocalEndpointsAreNeverSentThroughTheEnabledProxy) {
  CapturePeer proxy;
  AgentFolder agent;
  agent.WriteProxySettings("127.0.0.1 " + std::to_string(proxy.port()) + " true");
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    CapturePeer service;
    service.Reply(HttpOk(Soap11(SetResponse("<s:r>23</s:r>"))));
    const std::string endpoint = "http://" + host + ":" + std::to_string(service.port()) + "/x";
    ProcessResult run = agent.Call(endpoint);
    // Only the address list reads the settings, and prints nothing when enabled.
    EXPECT_EQ(run.out, "status=0 result=23\n") << host;
    ASSERT_EQ(service.Requests().size(), 1u) << host;
    EXPECT_EQ(ElementText(service.Requests()[0].body, "wsa:To"), endpoint);
    EXPECT_EQ(ElementText(service.Requests()[0].body, "wsa:Address").substr(0, 1), "1");
  }
  EXPECT_EQ(proxy.Connections(), 0u);
}

TEST(CallSetProxy, DisabledProxyLeavesTheRemoteEndpointAsItIs) {
  CapturePeer service("127.0.0.2");
  service.Reply(HttpOk(Soap11(SetResponse("<s:r>24</s:r>"))));
  AgentFolder agent;
  agent.WriteProxySettings("127.0.0.1 1 TRUE");
  ProcessResult run = agent.Call(service.Url("/svc"));
  EXPECT_EQ(run.out, std::string(kNotEnabled) + service.Url("/svc") + "\n" + kNotEnabled +
                         "status=0 result=24\n");
  ASSERT_EQ(service.Requests().size(), 1u);
  EXPECT_EQ(ElementText(service.Requests()[0].body, "wsa:Address").substr(0, 2), "0,");
}

TEST(CallSetProxy, RemoteEndpointWithoutPortOrPathStillGoesThroughTheProxy) {
  CapturePeer proxy;
  AgentFolder agent;
  agent.WriteProxySettings("127.0.0.1 " + std::to_string(proxy.port()) + " true");
  const std::string via = "http://127.0.0.1:" + std::to_string(proxy.port()) + "/";
  for (const auto& c : {std::pair<std::string, std::string>{"http://127.0.0.2/svc", "svc"},
                        {"http://127.0.0.2:9000", ""}}) {
    proxy.Reply(HttpOk(Soap11(SetResponse("<s:r>25</s:r>"))));
    ProcessResult run = agent.Call(c.first);
    EXPECT_EQ(run.out, via + c.second + "\nstatus=0 result=25\n") << c.first;
  }
  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].RequestLine(), "POST /svc HTTP/1.1");
  EXPECT_EQ(requests[1].RequestLine(), "POST / HTTP/1.1");
  EXPECT_EQ(ElementText(requests[1].body, "wsa:To"), "http://127.0.0.2:9000");
}

TEST(CallSetTimeout, PeerThatNeverAnswersEndsWithTheRuntimeTimeoutStatus) {
  CapturePeer silent;  // no reply queued: it reads the request and waits
  int32_t result = 1234;
  auto start = std::chrono::steady_clock::now();
  int status = CallSet(silent.Url().c_str(), WIDE("<Doc/>"), &result);
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(status, -1);  // SOAP_EOF with no errno: the receive time-out
  EXPECT_EQ(result, 0);   // the request had been sent
  EXPECT_GE(seconds, 14);
  EXPECT_LT(seconds, 60);
  EXPECT_EQ(silent.Requests().size(), 1u);
}

}  // namespace
