// The request bytes and the reply's audio member, without a service.
#include <gtest/gtest.h>

#include <string>

#include "client/synthesis.h"
#include "rt/random.h"
#include "web/timestamp.h"

namespace {

class FixedClock : public ::testing::Test {
protected:
  void SetUp() override {
    web::SetTimestampClock({[] { return 0; }, [] { return std::int64_t{1765362000}; }});
    rt::SeedRandomNumber(1);
  }
  void TearDown() override { web::SetTimestampClock({}); }
};

TEST_F(FixedClock, FirstBodyOfARunHasTheDocumentedShape) {
  const client::SpeechSettings opened{7, 3, 100, 58};
  const client::SpeechFields fields = client::GatherSpeechFields("abc", "", opened);
  const rt::Text body = client::BuildSpeechRequestBody(fields, "");
  // The digest of the query followed by "&app_key=" (empty key), computed independently.
  EXPECT_EQ(
      "aht=0&apc=58&app_id=&format=3&nonce_str=10041&speaker=7&speed=100&text=abc"
      "&time_stamp=1765362000&volume=0&sign=EC843E27B711523974584FDC5B5D01A6",
      body.str());
}

TEST_F(FixedClock, KeySignsButNeverTravels) {
  client::SpeechFields fields;
  fields.apc = "0";
  fields.appId = "2600417735";
  fields.format = "-1";
  fields.nonceStr = "42767";
  fields.speaker = "-1";
  fields.speed = "50";
  fields.timeStamp = "0000000001";
  const rt::Text body = client::BuildSpeechRequestBody(fields, "Hx4PnQ8sWe2LkT6u");
  EXPECT_EQ(
      "aht=0&apc=0&app_id=2600417735&format=-1&nonce_str=42767&speaker=-1&speed=50&text="
      "&time_stamp=0000000001&volume=0&sign=8C01206C6A7FCA5D85B59CB7A9811449",
      body.str());
  EXPECT_EQ(std::string::npos, body.str().find("app_key"));
  EXPECT_EQ(std::string::npos, body.str().find("Hx4PnQ8sWe2LkT6u"));
}

TEST_F(FixedClock, FieldsFollowTheWindowAndTheGenerator) {
  const rt::Text sample = "西蓝花，9块5每斤。\r\n金龙鱼调和油特价48块8一桶。";
  ASSERT_EQ(47, sample.size());
  const client::SpeechFields first =
      client::GatherSpeechFields(sample, "id 1", client::SpeechSettings{-1, -1, 50, 0});
  EXPECT_EQ("10041", first.nonceStr.str());
  EXPECT_EQ("-1", first.speaker.str());
  EXPECT_EQ("-1", first.format.str());
  EXPECT_EQ("50", first.speed.str());
  EXPECT_EQ("0", first.apc.str());
  EXPECT_EQ("id 1", first.appId.str());  // used unchanged, not encoded
  EXPECT_EQ("1765362000", first.timeStamp.str());
  EXPECT_EQ(
      "%E8%A5%BF%E8%93%9D%E8%8A%B1%EF%BC%8C9%E5%9D%975%E6%AF%8F%E6%96%A4%E3%80%82%0D%0A"
      "%E9%87%91%E9%BE%99%E9%B1%BC%E8%B0%83%E5%92%8C%E6%B2%B9%E7%89%B9%E4%BB%B748%E5%9D%978"
      "%E4%B8%80%E6%A1%B6%E3%80%82",
      first.text.str());
  const client::SpeechFields second =
      client::GatherSpeechFields("a b", "", client::SpeechSettings{1, 2, 100, 100});
  EXPECT_EQ("28467", second.nonceStr.str());
  EXPECT_EQ("a%20b", second.text.str());
}

TEST(SpeechMemberOfReply, FindsTheMemberInTheWaysServicesWriteIt) {
  struct Case {
    const char* reply;
    const char* member;
  };
  const Case cases[] = {
      {"{\"ret\": 0, \"data\": {\"format\": 3, \"speech\": \"SUQzBA==\", \"md5sum\": \"\"}}",
       "SUQzBA=="},
      {"{\"ret\":0,\"data\":{\"format\":3,\"speech\":\"SUQzBA==\",\"md5sum\":\"\"}}", "SUQzBA=="},
      {"{\"msg\": \"\\u6210\\u529f\", \"speech\": \"UklGRg==\"}", "UklGRg=="},
      {"{\"ret\": 16389, \"msg\": \"wrong sign\", \"data\": {\"format\": 0}}", ""},
      {"{\"speech\": \"SUQzBA", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.member, client::SpeechMemberOfReply(c.reply).str()) << c.reply;
  }
}

}  // namespace
