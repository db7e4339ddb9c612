// The strict JSON reader: what it takes, what it refuses and why, nesting bombs, and that what
// the writer writes reads back as the same value.
#include "exchange/json_value.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "exchange/json_reader.h"

namespace orvalis::exchange {
namespace {

struct Json_case {
  const char* name;
  std::string text;
  const char* error;    // a part of the reason; nullptr when the text must read
  const char* written;  // the value written back on one line (blanks removed); nullptr: unchecked
};

std::string compact(std::string s) {
  std::string out;
  bool in_string = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"' && (i == 0 || s[i - 1] != '\\')) in_string = !in_string;
    if (!in_string && (s[i] == ' ' || s[i] == '\n')) continue;
    out += s[i];
  }
  return out;
}

TEST(JsonValue, ReadsStrictJsonAndRefusesTheRest) {
  const Json_case cases[] = {
      {"object", R"({"a": [1, -2, 3.5, true, false, null], "b": {}})", nullptr,
       R"({"a":[1,-2,3.5,true,false,null],"b":{}})"},
      {"escapes", R"(["\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00"])", nullptr, "[\"\\\"\\\\/\\u0008\\u000c\\n\\r\\t\xC3\xA9\xF0\x9F\x98\x80\"]"},
      {"big whole number becomes real", "[123456789012345678901234]", nullptr, nullptr},
      {"white space around", " \n\t[ ] \r\n", nullptr, "[]"},
      {"trailing comma", "[1, 2,]", "expected a value", nullptr},
      {"trailing member comma", R"({"a": 1,})", "member name", nullptr},
      {"leading zero", "[01]", "must not start with 0", nullptr},
      {"bare control", "[\"a\x01\"]", "control character", nullptr},
      {"lone low surrogate", R"(["\udc00"])", "lone low surrogate", nullptr},
      {"high surrogate alone", R"(["\ud800x"])", "followed by a low one", nullptr},
      {"not UTF-8", "[\"\xC3\x28\"]", "not UTF-8", nullptr},
      {"overlong UTF-8", "[\"\xC0\xAF\"]", "not UTF-8", nullptr},
      {"encoded surrogate", "[\"\xED\xA0\x80\"]", "not UTF-8", nullptr},
      {"comment", "[1] // no", "after the value", nullptr},
      {"two values", "{} {}", "after the value", nullptr},
      {"unquoted name", "{a: 1}", "member name", nullptr},
      {"single quotes", "['a']", "expected a value", nullptr},
      {"cut short", R"({"a": [1, )", "ends where a value", nullptr},
      {"unterminated string", R"(["abc)", "ends inside a string", nullptr},
      {"bad escape", R"(["\x41"])", "unknown escape", nullptr},
      {"empty", "", "ends where a value", nullptr},
      {"exponent without digits", "[1e]", "exponent", nullptr},
      {"nested arrays past the limit", std::string(65, '[') + std::string(65, ']'), "nested deeper than 64", nullptr},
      {"nested objects past the limit", [] {
         std::string s;
         for (int i = 0; i < 100000; ++i) s += "{\"a\":";
         return s;
       }(), "nested deeper than 64", nullptr},
      {"a million open brackets", std::string(1000000, '['), "nested deeper than 64", nullptr},
      {"nesting at the limit", std::string(64, '[') + std::string(64, ']'), nullptr, nullptr},
  };
  for (const Json_case& c : cases) {
    SCOPED_TRACE(c.name);
    Json_parse_result r = parse_json(c.text);
    if (c.error) {
      EXPECT_FALSE(r.ok());
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
      EXPECT_NE(r.error.find("line "), std::string::npos) << r.error;
      continue;
    }
    ASSERT_TRUE(r.ok()) << r.error;
    const std::string written = to_json_text(r.value);
    if (c.written) {
      EXPECT_EQ(compact(written), c.written);
    }
    Json_parse_result again = parse_json(written);
    ASSERT_TRUE(again.ok()) << again.error;
    EXPECT_TRUE(again.value == r.value);
  }
}

TEST(JsonValue, WriterKeepsItsOutputValidWhateverTheText) {
  Json_value v = Json_value::object();
  v.set("bytes", Json_value::string(std::string("ok\xFF\xC3(\x01\x7F end", 11)));
  const std::string text = to_json_text(v);
  Json_parse_result r = parse_json(text);
  ASSERT_TRUE(r.ok()) << r.error << "\n" << text;
  EXPECT_EQ(r.value.find("bytes")->as_string(), "ok\xEF\xBF\xBD\xEF\xBF\xBD(\x01\x7F end");
}

TEST(JsonValue, ReportsWhereTheFaultIs) {
  Json_parse_result r = parse_json("{\n  \"a\": 1\n  \"b\": 2\n}");
  EXPECT_EQ(r.error, "line 3, column 3: expected ',' or '}' after a member");
}

// A value or its fault read from a stream, through the reader's buffer.
Json_parse_result parse_stream(const std::string& text) {
  std::istringstream in(text);
  Json_parse_result r;
  try {
    Json_reader reader(in);
    r.value = reader.read_value();
    reader.finish();
  } catch (const Json_syntax_error& e) {
    r.error = e.what();
  }
  return r;
}

TEST(JsonValue, AStreamReadsAsTheWholeTextWhereverItsBufferEnds) {
  // Each piece is put so that it straddles the end of the reader's first 64 KiB buffer.
  const struct {
    const char* name;
    std::string piece;
  } pieces[] = {
      {"four-byte character", "\xF0\x9F\x98\x80"},
      {"surrogate pair escape", "\\ud83d\\ude00"},
      {"escaped quote", "\\\"x"},
      {"bad UTF-8 after the boundary", "\xC3\x28"},
      {"string end then a fault", "\" 1"},
      {"line feeds before a fault", "\",\n\n  tru"},
  };
  for (const auto& p : pieces) {
    for (std::size_t shift = 0; shift < 8; ++shift) {
      SCOPED_TRACE(std::string(p.name) + " shifted " + std::to_string(shift));
      std::string text = "[\"" + std::string(64 * 1024 - 4 - shift, 'a') + p.piece;
      if (text.back() != 'u') text += "\"]";
      const Json_parse_result whole = parse_json(text), streamed = parse_stream(text);
      EXPECT_EQ(streamed.error, whole.error);
      EXPECT_TRUE(streamed.value == whole.value);
    }
  }
}

}  // namespace
}  // namespace orvalis::exchange
