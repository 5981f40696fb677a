// CallSet against peers that misbehave: every call ends with a status, the
// result reads 0, nothing leaks and the memory of the calling process stays
// far below what the peer sends.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/service/hostile_peer.h"
#include "tests/service/measured_run.h"
#include "tests/service/service_test_support.h"
#include "tests/common/test_support.h"

namespace {

using namespace service_test;

// Room above a well-behaved call, far below the 60 MB and 100 MB peers.
constexpr long kHeadroomKilobytes = 16 * 1024;

struct ProbeOutcome {
  MeasuredRun run;
  int status = 99999;
  int result = 99999;
};

ProbeOutcome Probe(const std::string& endpoint) {
  ProbeOutcome outcome;
  outcome.run = RunMeasured(
      {testing_support::BuildDir() + "/tests/service/call_set_probe", endpoint, "<Doc/>"});
  std::smatch m;
  if (std::regex_search(outcome.run.out, m, std::regex("status=(-?[0-9]+) result=(-?[0-9]+)"))) {
    outcome.status = std::stoi(m[1]);
    outcome.result = std::stoi(m[2]);
  }
  return outcome;
}

long WellBehavedPeakKilobytes() {
  static const long peak = [] {
    CapturePeer peer;
    peer.Reply(HttpOk(Soap11(SetResponse("<s:r>5</s:r>"))));
    const ProbeOutcome outcome = Probe(peer.Url());
    EXPECT_EQ(outcome.status, 0) << outcome.run.out << outcome.run.err;
    return outcome.run.peakKilobytes;
  }();
  return peak;
}

struct HostileCase {
  const char* name;
  Hostility hostility;
  int status;
};

class CallSetAgainst : public ::testing::TestWithParam<HostileCase> {};

TEST_P(CallSetAgainst, PeerEndsWithItsStatusResultZeroNoLeakAndBoundedMemory) {
  const HostileCase& c = GetParam();
  const long baseline = WellBehavedPeakKilobytes();
  HostilePeer peer(c.hostility);
  const ProbeOutcome outcome = Probe(peer.Url());
  EXPECT_EQ(outcome.run.exitCode, 0) << outcome.run.err;  // a leak fails the sanitizer build here
  EXPECT_EQ(outcome.status, c.status) << outcome.run.out;
  EXPECT_EQ(outcome.result, 0) << "the request went out, so r reads 0";
  EXPECT_EQ(peer.RequestsRead(), 1u);
  EXPECT_NE(outcome.run.err.find("SOAP"), std::string::npos) << "no fault report: " << outcome.run.err;
  EXPECT_LT(outcome.run.peakKilobytes, baseline + kHeadroomKilobytes)
      << "baseline " << baseline << " kB, peer sent " << peer.BytesSent() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(
    HostilePeers, CallSetAgainst,
    // -1 is the runtime's end of input (here the receive limit or a closed
    // connection); a body cut off there answers so whatever HTTP status came
    // before it, and an HTTP status answers only where no SOAP body came.
    ::testing::Values(HostileCase{"Html500", Hostility::kHtml500, 500},
                      HostileCase{"HundredMegabyteBody", Hostility::kHugeBody, -1},
                      HostileCase{"SixtyMegabyteFaultString", Hostility::kHugeFaultString, -1},
                      HostileCase{"TwoHundredThousandLevels", Hostility::kDeepNesting, -1},
                      HostileCase{"CloseMidResponse", Hostility::kCloseMidResponse, -1},
                      HostileCase{"ChunkSizeFFFFFFFF", Hostility::kHugeChunk, 200}),
    [](const ::testing::TestParamInfo<HostileCase>& param) { return param.param.name; });

// One byte a second never trips the 15 s receive time-out; the 30 s limit on
// the whole response does, while the headers are still coming, so the status
// is the HTTP status line that had arrived.
TEST(CallSetAgainstTricklingPeer, IsCutOffByTheTransferTimeOutWithResultZero) {
  HostilePeer peer(Hostility::kTrickle);
  const ProbeOutcome outcome = Probe(peer.Url());
  EXPECT_EQ(outcome.run.exitCode, 0) << outcome.run.err;
  EXPECT_EQ(outcome.status, 200) << outcome.run.out;
  EXPECT_EQ(outcome.result, 0);
  EXPECT_NE(outcome.run.err.find("Error 200: HTTP 200 OK"), std::string::npos) << outcome.run.err;
  EXPECT_GE(outcome.run.seconds, 29.0);
  EXPECT_LT(outcome.run.seconds, 60.0);
  EXPECT_LT(peer.BytesSent(), 60u);
}

}  // namespace
