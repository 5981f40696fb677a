// Template dispatch against stand-ins of the agent's local service (on its
// fixed port 8000) and of the management server.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/files.h"
#include "plugin/template_op.h"
#include "support/log_module.h"
#include "support/text_conversion.h"
#include "tests/common/devconf_peer.h"
#include "tests/common/test_support.h"

namespace {

using testing_support::DevconfPeer;

const std::string kDecl = "<?xml version=\"1.0\"?>\n";

std::string g_identity;

std::string StatusDocument(const std::string& scheduleId, int progress) {
  return "<Root ID=\"" + g_identity + "\"><TaskStatusResponse><ScheduleId>" + scheduleId +
         "</ScheduleId><Progress>" + std::to_string(progress) +
         "</Progress></TaskStatusResponse></Root>";
}

// CTest gives every test a machine root; under Wine the test gets a folder of
// its own.
std::string Root() {
  if (const char* root = std::getenv("QUORVIL_ROOT")) return root;
  static testing_support::TempDir own;
  static testing_support::ScopedRoot scoped(own.path());
  return own.path();
}

class Dispatch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_identity = testing_support::TerminalIdentity(Root(), "001122AABBCC");
  }
  void SetUp() override {
    ASSERT_TRUE(testing_support::LocalServicePortIsFree());
  }
  int32_t Run(const std::string& templateText, const WideChar* scheduleId = WIDE("42"),
              bool withEndpoint = true) {
    const WideString text = FromUtf8(templateText);
    const WideString endpoint = withEndpoint ? FromUtf8(server_.url("/status")) : WideString();
    return DispatchTemplate(endpoint, text.c_str(), scheduleId);
  }
  DevconfPeer server_{0};
};

TEST_F(Dispatch, CscTemplateIsWrappedDeliveredAndReportedAsDone) {
  DevconfPeer local(8000, {"--r", "7"});
  ASSERT_TRUE(local.running());
  EXPECT_EQ(Run("<Root><!--c--><A ns=\"CSC\" x=\"1\"><i/></A>text<B ns=\"other\"/></Root>"), 7);
  const auto delivered = local.Requests();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].to, "http://127.0.0.1:8000");
  EXPECT_EQ(delivered[0].xIn,
            kDecl + "<Root Template=\"true\" OS=\"All\"><!--c-->text<CSCTemplateConfig ns=\"CSC\" "
                    "Modified=\"true\"><A ns=\"CSC\" x=\"1\"><i/></A><B ns=\"other\"/>"
                    "</CSCTemplateConfig></Root>\n");
  const auto reports = server_.Requests();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].xIn, StatusDocument("42", 100));
  EXPECT_EQ(reports[0].to, server_.url("/status"));
}

TEST_F(Dispatch, OtherTemplatesGetTheirMarksUnwrapped) {
  DevconfPeer local(8000);
  ASSERT_TRUE(local.running());
  EXPECT_EQ(Run("<Root OS=\"XP\"><A ns=\"csc\"/></Root>"), 0);
  EXPECT_EQ(Run("<Root>only text</Root>"), 0);
  const auto delivered = local.Requests();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[0].xIn, kDecl + "<Root OS=\"All\" Template=\"true\"><A ns=\"csc\"/></Root>\n");
  EXPECT_EQ(delivered[1].xIn, kDecl + "<Root Template=\"true\" OS=\"All\">only text</Root>\n");
}

TEST_F(Dispatch, TemplateWithoutRootIsNotDeliveredAndReportsMinusTwo) {
  DevconfPeer local(8000);
  ASSERT_TRUE(local.running());
  EXPECT_EQ(Run("<Config><A/></Config>"), kNotDelivered);
  EXPECT_EQ(Run("not xml at all"), kNotDelivered);
  EXPECT_EQ(DispatchTemplate(FromUtf8(server_.url("/status")), nullptr, nullptr), kNotDelivered);
  EXPECT_TRUE(local.Requests().empty());
  const auto reports = server_.Requests();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].xIn, StatusDocument("42", -2));
  EXPECT_EQ(reports[2].xIn, StatusDocument("", -2));
}

TEST_F(Dispatch, MissingScheduleIdIsNotDeliveredButEmptyOneIs) {
  DevconfPeer local(8000);
  ASSERT_TRUE(local.running());
  EXPECT_EQ(Run("<Root/>", nullptr), kNotDelivered);
  EXPECT_EQ(Run("<Root/>", WIDE("")), 0);
  EXPECT_EQ(local.Requests().size(), 1u);
  const auto reports = server_.Requests();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].xIn, StatusDocument("", -2));
  EXPECT_EQ(reports[1].xIn, StatusDocument("", 100));
}

// The report goes nowhere: the call refuses the empty endpoint (2), which
// the log shows, and nothing else receives it in its place.
TEST_F(Dispatch, EmptyEndpointStillDeliversAndTheReportIsLost) {
  DevconfPeer local(8000, {"--r", "3"});
  ASSERT_TRUE(local.running());
  EXPECT_EQ(Run("<Root/>", WIDE("1"), false), 3);
  const auto delivered = local.Requests();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].xIn, kDecl + "<Root Template=\"true\" OS=\"All\"/>\n");
  const std::string log = testing_support::ReadFile(LogFilePath());
  const size_t last = log.rfind("INFO:SendTaskRes result:{");
  ASSERT_NE(last, std::string::npos) << log;
  const std::string refused = "INFO:SendTaskRes result:{2}\r\n";
  EXPECT_EQ(log.compare(last, refused.size(), refused), 0) << log.substr(last);
}

TEST_F(Dispatch, FaultFromTheLocalServiceAnswersZeroAndStillReportsDone) {
  DevconfPeer local(8000, {"--fault", "Server"});
  ASSERT_TRUE(local.running());
  EXPECT_EQ(Run("<Root/>"), 0);
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].xIn, StatusDocument("42", 100));
}

TEST_F(Dispatch, AbsentLocalServiceAnswersNotDeliveredAndStillReportsDone) {
  EXPECT_EQ(Run("<Root/>"), kNotDelivered);
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].xIn, StatusDocument("42", 100));
}

}  // namespace
