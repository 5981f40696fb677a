// The service code loaded into a host with its own generated gSOAP service:
// each side keeps its namespace table, header and callbacks.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "OtherServiceH.h"
#include "OtherService.nsmap"
#include "platform/standin/shared_library.h"
#include "platform/wide.h"
#include "tests/service/service_test_support.h"
#include "tests/common/test_support.h"

namespace {

using namespace service_test;

using ModuleCallSetFn = int (*)(const char*, const WideChar*, int32_t*);

std::string ModulePath() { return testing_support::BuildDir() + "/tests/service/libcall_set_module.so"; }

TEST(ServiceIsolation, HostCallUsesTheHostsOwnTableAndHeader) {
  CapturePeer peer;
  peer.Reply(HttpOk("<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/"
                    "envelope/\" xmlns:o=\"urn:quorvil-test:other\"><e:Body><o:PingResponse>"
                    "<o:pong>5</o:pong></o:PingResponse></e:Body></e:Envelope>"));
  struct soap* soap = soap_new();
  SOAP_ENV__Header header;
  soap_default_SOAP_ENV__Header(soap, &header);
  header.other__Ticket = const_cast<char*>("t-1");
  soap->header = &header;
  int pong = 0;
  EXPECT_EQ(soap_call_other__Ping(soap, peer.Url().c_str(), "", const_cast<char*>("hi"), pong), 0);
  EXPECT_EQ(pong, 5);
  soap_destroy(soap);
  soap_end(soap);
  soap_free(soap);
  ASSERT_EQ(peer.Requests().size(), 1u);
  const std::string body = peer.Requests()[0].body;
  EXPECT_NE(body.find("xmlns:other=\"urn:quorvil-test:other\""), std::string::npos) << body;
  EXPECT_NE(body.find("<SOAP-ENV:Header><other:Ticket>t-1</other:Ticket></SOAP-ENV:Header>"),
            std::string::npos) << body;
}

TEST(ServiceIsolation, LoadedServiceCodeSendsItsOwnNamespacesAndHeader) {
  std::string error;
  const platform::SharedLibrary module(ModulePath(), &error);
  ASSERT_TRUE(module.is_loaded()) << error;
  auto call = reinterpret_cast<ModuleCallSetFn>(module.Symbol("ModuleCallSet"));
  ASSERT_NE(call, nullptr);

  CapturePeer peer;
  // A response header the host's definition does not know, and one it does.
  peer.Reply(HttpOk(Soap11(SetResponse("<s:r>31</s:r>"),
                           "<wsa:To xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\">"
                           "urn:back</wsa:To><o:Ticket xmlns:o=\"urn:quorvil-test:other\">x</o:Ticket>")));
  int32_t result = 0;
  EXPECT_EQ(call(peer.Url().c_str(), WIDE("<Doc/>"), &result), 0);
  EXPECT_EQ(result, 31);
  ASSERT_EQ(peer.Requests().size(), 1u);
  const std::string body = peer.Requests()[0].body;
  EXPECT_NE(body.find(" xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
                      " xmlns:soap=\"urn:quorvil:device-configuration\">"),
            std::string::npos) << body;
  EXPECT_EQ(body.find("other"), std::string::npos) << body;
  EXPECT_EQ(ElementText(body, "wsa:To"), peer.Url());
  EXPECT_TRUE(HasElement(body, "wsa:MessageID"));
  EXPECT_EQ(ElementText(body, "soap:xIn"), "&lt;Doc/&gt;");
}

TEST(ServiceIsolation, LoadedModuleExportsNoGsoapSymbols) {
  testing_support::ProcessResult nm =
      testing_support::RunProcess({"/usr/bin/nm", "-D", "--defined-only", ModulePath()});
  ASSERT_EQ(nm.exitCode, 0) << nm.err;
  EXPECT_NE(nm.out.find(" T ModuleCallSet\n"), std::string::npos) << nm.out;
  EXPECT_EQ(nm.out.find("soap"), std::string::npos) << nm.out;
  EXPECT_EQ(nm.out.find("namespaces"), std::string::npos) << nm.out;
}

}  // namespace
