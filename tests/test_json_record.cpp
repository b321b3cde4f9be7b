// SPDX-License-Identifier: Apache-2.0
// The JSON readers of ventrac-encode: every reader this build has gives the
// same record for each line, or refuses it with the same reason, whether
// the line is read alone, after others, or with readable bytes after it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/encode/json_backends.h"
#include "tools/encode/json_record.h"

namespace {

using ventrac::encode::JsonLibrary;
using ventrac::encode::JsonReader;
using ventrac::encode::kMaxJsonDepth;
using ventrac::encode::Record;

// Why any line that does not parse is refused; the library's reason follows.
const std::string kNotJson = "the line is not JSON: ";
const std::string kNotObject = "the line is not a JSON object";
const std::string kNoIdentifier = "no \"identifier\" text";
const std::string kNoMode = "no \"mode\" number";
const std::string kNotArray = "\"elements\" is not an array";

std::string no_such_mode(const std::string &mode) {
    return "no such mode: " + mode + " (operating modes are whole numbers from -128 to 127)";
}
std::string bad_element(int number) {
    return "element " + std::to_string(number) + " has no \"code\" and \"name\" texts";
}

struct Element {
    std::string code, name;
    std::optional<double> value;
    bool number = true;
};

struct Case {
    const char *what;
    std::string line;
    std::string error;  // "": read; kNotJson: refused with the library's reason
    std::string identifier = {};
    int mode = 0;
    std::vector<Element> elements = {};
    std::string file = "-";  // the caller's "file", "-" before the read
};

// A text that shows every part of the record, the sign of a zero included.
std::string show(const Record &r, const std::string &file) {
    std::string text = "identifier '" + r.identifier + "' mode " + std::to_string(r.mode) +
                       " file '" + file + "'\n";
    for (const auto &e : r.elements) {
        char value[40] = "null";
        if (e.value) std::snprintf(value, sizeof value, "%.17g", *e.value);
        text += "  '" + e.code + "' '" + e.name + "' " + value +
                (e.number ? "" : " (not a number)") + (e.spec ? " (spec set)" : "") + "\n";
    }
    return text;
}

std::string show(const Case &c) {
    Record r;
    r.identifier = c.identifier;
    r.mode = c.mode;
    for (const Element &e : c.elements) {
        r.elements.emplace_back();
        r.elements.back().code = e.code;
        r.elements.back().name = e.name;
        r.elements.back().value = e.value;
        r.elements.back().number = e.number;
    }
    return show(r, c.file);
}

// One read of `c` with `reader`: with `pad` 0 the line alone, else with
// JsonReader::kPadding bytes of `pad` readable after it.
void check(JsonReader &reader, Record &record, const Case &c, char pad) {
    std::string buffer = c.line;
    std::size_t readable = c.line.size();
    if (pad) {
        buffer.append(JsonReader::kPadding, pad);
        readable = buffer.size();
    }
    std::string file = "-";
    const std::string error =
        reader.read(std::string_view(buffer.data(), c.line.size()), readable, record, file);
    if (c.error == kNotJson) {
        EXPECT_EQ(error.rfind(kNotJson, 0), 0u) << error;
        EXPECT_GT(error.size(), kNotJson.size()) << "no reason given";
        return;
    }
    EXPECT_EQ(error, c.error);
    if (c.error.empty()) {
        EXPECT_EQ(show(record, file), show(c));
    }
    EXPECT_EQ(std::string_view(buffer).substr(c.line.size()),
              std::string(readable - c.line.size(), pad))
        << "the padding was written";
}

// Runs `cases` on every reader the build has: each line on a fresh reader,
// then all of them, several times, on one reader and one record.
void check_all(const std::vector<Case> &cases) {
    ASSERT_FALSE(ventrac::encode::json_libraries().empty());
    for (const JsonLibrary library : ventrac::encode::json_libraries()) {
        const std::string name = ventrac::encode::json_library_name(library);
        std::unique_ptr<JsonReader> shared = ventrac::encode::make_json_reader(library);
        ASSERT_NE(shared, nullptr) << name;
        Record shared_record;
        for (const char pad : {'\0', '}', '"'}) {
            for (const Case &c : cases) {
                SCOPED_TRACE(name + ": " + c.what +
                             (pad ? std::string(" padded with ") + pad : "") + "\n  " + c.line);
                std::unique_ptr<JsonReader> fresh = ventrac::encode::make_json_reader(library);
                Record record;
                check(*fresh, record, c, pad);
                check(*shared, shared_record, c, pad);
            }
        }
    }
}

// The decoder's --json line for the shipped example, five of its elements
// kept, every member it writes there.
const std::string kDecoderLine =
    R"j({"file":"HPK_ship_obs.txt","identifier":"FNZ6042","mode":1,"data_type":0,"elements":[)j"
    R"j({"ident":"D000001","code":"004001","name":"YEAR","unit":"YEAR","valid":true,"missing":false,"value":2026,"conv_value":2026,"text":"2026","conv_text":"2026","comment":"Year"},)j"
    R"j({"ident":"D000007","code":"006002","name":"LON","unit":"DEGREE","valid":true,"missing":false,"value":-25.299999999999983,"conv_value":-25.299999999999983,"text":"-25.30","conv_text":"-25.30","comment":"Longitude (coarse accuracy)"},)j"
    R"j({"ident":"D000010","code":"010061","name":"PTEND3H","unit":"PA","valid":false,"missing":true,"value":null,"conv_value":null,"text":"0","conv_text":"0","comment":"3-hour pressure change"},)j"
    R"j({"ident":"D000020","code":"031001","name":"NCLOUD000","unit":"NUMERIC","valid":true,"missing":false,"value":2,"conv_value":2,"text":"2","conv_text":"2","comment":"Number of cloud layers"},)j"
    R"j({"ident":"D000021","code":"020011","name":"CLAMT_D000-000","unit":"CODE TABLE","valid":true,"missing":false,"value":3,"conv_value":3,"text":"3","conv_text":"3","comment":"Cloud amount"}]})j";

// A record of identifier "X", mode 1 and one element TA whose value member
// is `value` (nothing: no value member).
std::string with_value(const std::string &value) {
    return R"({"identifier":"X","mode":1,"elements":[{"code":"012101","name":"TA")" +
           (value.empty() ? "" : ",\"value\":" + value) + "}]}";
}
Case value_case(const char *what, const std::string &value, std::optional<double> expected,
                bool number = true) {
    return {what, with_value(value), "", "X", 1, {{"012101", "TA", expected, number}}};
}

// A record of identifier "X" and no elements whose mode member is `mode`.
std::string with_mode(const std::string &mode) {
    return R"({"identifier":"X","mode":)" + mode + "}";
}

// A record of identifier "X" and mode 1 whose elements member is `elements`.
std::string with_elements(const std::string &elements) {
    return R"({"identifier":"X","mode":1,"elements":)" + elements + "}";
}
const std::string kTa = R"({"code":"012101","name":"TA","value":1})";

// `levels` arrays, one in the other.
std::string deep(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

TEST(JsonRecord, TheDecodersShapeIsReadAndItsOtherMembersIgnored) {
    check_all({
        {"ventrac-decode --json",
         kDecoderLine,
         "",
         "FNZ6042",
         1,
         {{"004001", "YEAR", 2026.0},
          {"006002", "LON", -25.299999999999983},
          {"010061", "PTEND3H", std::nullopt},
          {"031001", "NCLOUD000", 2.0},
          {"020011", "CLAMT_D000-000", 3.0}},
         "HPK_ship_obs.txt"},
        {"white space around every token and at both ends",
         " \t{ \"elements\" : [ { \"value\" : 5 , \"name\" : \"TA\" , \"code\" : \"012101\" } ] ,"
         " \"mode\" : 2 , \"identifier\" : \"AB\" } \r",
         "",
         "AB",
         2,
         {{"012101", "TA", 5.0}}},
        {"escapes in texts",
         R"({"identifier":"A\"B\\C\u00e9\n","mode":0,"file":"d\/f"})",
         "",
         "A\"B\\C\xc3\xa9\n",
         0,
         {},
         "d/f"},
        {"file not a text leaves the caller's",
         R"({"identifier":"A","mode":0,"file":7})",
         "",
         "A",
         0,
         {},
         "-"},
        {"no elements", R"({"identifier":"A","mode":-3})", "", "A", -3},
    });
}

TEST(JsonRecord, ValuesAreNumbersNullOrRefusedAsNotNumbers) {
    check_all({
        value_case("integer", "2026", 2026.0),
        value_case("negative", "-25", -25.0),
        value_case("fraction", "285.35", 285.35),
        value_case("exponent", "1.5e3", 1500.0),
        value_case("negative exponent", "25E-2", 0.25),
        value_case("zero", "0", 0.0),
        value_case("minus zero, an integer", "-0", 0.0),
        value_case("minus zero fraction", "-0.0", -0.0),
        value_case("null is missing", "null", std::nullopt),
        value_case("absent is missing", "", std::nullopt),
        value_case("text", R"("12")", std::nullopt, false),
        value_case("true", "true", std::nullopt, false),
        value_case("false", "false", std::nullopt, false),
        value_case("object", R"({"value":1})", std::nullopt, false),
        value_case("array", "[1]", std::nullopt, false),
        value_case("largest int64", "9223372036854775807", 9223372036854775807.0),
        value_case("smallest int64", "-9223372036854775808", -9223372036854775808.0),
        value_case("largest uint64", "18446744073709551615", 18446744073709551615.0),
        value_case("below int64", "-9223372036854775809", -9223372036854775808.0),
        value_case("beyond uint64", "18446744073709551616", 18446744073709551616.0),
        value_case("beyond uint64, as the decoder writes 2^65", "36893488147419103232",
                   36893488147419103232.0),
        value_case("thirty digits", "123456789012345678901234567890", 1.2345678901234568e29),
        value_case("thirty digits, negative", "-123456789012345678901234567890",
                   -1.2345678901234568e29),
        value_case("beyond uint64, white space after", "18446744073709551616 \t",
                   18446744073709551616.0),
        value_case("beyond uint64 with an exponent", "1e20", 1e20),
        {"beyond uint64 then not JSON", with_value("18446744073709551616") + "x", kNotJson},
        {"beyond uint64 then a bad number",
         with_elements("[" + kTa + R"(],"x":[18446744073709551616,01])"), kNotJson},
        {"beyond uint64 then too deep",
         with_elements("[" + kTa + R"(],"x":[18446744073709551616,)" + deep(100000) + "]"),
         kNotJson},
        {"beyond uint64 in an ignored member and in values",
         with_elements(R"([{"code":"a","name":"b","value":-100000000000000000000}],)"
                       R"("x":[100000000000000000000,{"y":-1e3,"z":123456789012345678901}])"),
         "",
         "X",
         1,
         {{"a", "b", -1e20}}},
        {"top-level array with an integer beyond uint64", "[18446744073709551616]", kNotObject},
        {"beyond a double", with_value("1e400"), kNotJson},
        {"not a JSON number", with_value("+1"), kNotJson},
        {"leading zero", with_value("01"), kNotJson},
        {"NaN", with_value("NaN"), kNotJson},
    });
}

TEST(JsonRecord, ModeIsAWholeNumberFromMinus128To127AndIdentifierIsAText) {
    check_all({
        {"mode 0", with_mode("0"), "", "X", 0},
        {"mode -128", with_mode("-128"), "", "X", -128},
        {"mode 127", with_mode("127"), "", "X", 127},
        {"mode 2.0", with_mode("2.0"), "", "X", 2},
        {"mode 1e2", with_mode("1e2"), "", "X", 100},
        {"mode -0", with_mode("-0"), "", "X", 0},
        {"no mode", R"({"identifier":"X"})", kNoMode},
        {"mode text", with_mode(R"("1")"), kNoMode},
        {"mode null", with_mode("null"), kNoMode},
        {"mode true", with_mode("true"), kNoMode},
        {"mode array", with_mode("[1]"), kNoMode},
        {"mode object", with_mode(R"({"mode":1})"), kNoMode},
        {"mode fraction", with_mode("1.5"), no_such_mode("1.5")},
        {"mode -129", with_mode("-129"), no_such_mode("-129")},
        {"mode 128", with_mode("128"), no_such_mode("128")},
        {"mode int64", with_mode("-9223372036854775808"), no_such_mode("-9.2233720368547758e+18")},
        {"mode uint64", with_mode("18446744073709551615"), no_such_mode("1.8446744073709552e+19")},
        {"mode beyond uint64", with_mode("1e20"), no_such_mode("1e+20")},
        {"mode an integer beyond uint64", with_mode("100000000000000000000"),
         no_such_mode("1e+20")},
        {"mode 1e300", with_mode("1e300"), no_such_mode("1.0000000000000001e+300")},
        {"no identifier", R"({"mode":1})", kNoIdentifier},
        {"identifier number", R"({"identifier":7,"mode":1})", kNoIdentifier},
        {"identifier null", R"({"identifier":null,"mode":1})", kNoIdentifier},
        {"identifier array", R"({"identifier":["X"],"mode":1})", kNoIdentifier},
        {"identifier object", R"({"identifier":{"identifier":"X"},"mode":1})", kNoIdentifier},
        {"no identifier before a bad mode", R"({"mode":"x"})", kNoIdentifier},
        {"bad mode before bad elements", R"({"identifier":"X","elements":5})", kNoMode},
        {"empty identifier", R"({"identifier":"","mode":1})", "", "", 1},
    });
}

TEST(JsonRecord, ElementsIsAnArrayOfObjectsWithCodeAndNameTexts) {
    check_all({
        {"elements null", with_elements("null"), "", "X", 1},
        {"elements empty", with_elements("[]"), "", "X", 1},
        {"elements text", with_elements(R"("[]")"), kNotArray},
        {"elements number", with_elements("3"), kNotArray},
        {"elements true", with_elements("true"), kNotArray},
        {"elements object", with_elements(kTa), kNotArray},
        {"item number", with_elements("[" + kTa + ",5]"), bad_element(2)},
        {"item null", with_elements("[null]"), bad_element(1)},
        {"item array", with_elements("[" + kTa + "," + kTa + ",[" + kTa + "]]"), bad_element(3)},
        {"item text", with_elements(R"(["012101"])"), bad_element(1)},
        {"item text after one", with_elements("[" + kTa + R"(,"TA"])"), bad_element(2)},
        {"item empty object", with_elements("[{}]"), bad_element(1)},
        {"no code", with_elements(R"([{"name":"TA","value":1}])"), bad_element(1)},
        {"no name", with_elements(R"([{"code":"012101","value":1}])"), bad_element(1)},
        {"code number", with_elements(R"([{"code":12101,"name":"TA"}])"), bad_element(1)},
        {"code null", with_elements(R"([{"code":null,"name":"TA"}])"), bad_element(1)},
        {"name array", with_elements(R"([{"code":"012101","name":["TA"]}])"), bad_element(1)},
        {"name object", with_elements(R"([{"code":"012101","name":{"name":"TA"}}])"),
         bad_element(1)},
        {"element error before a missing identifier", R"({"elements":[5]})", bad_element(1)},
        {"members of other objects are not the element's",
         with_elements(
             R"([{"code":"012101","name":"TA","x":{"code":5,"value":"no"},"y":[{"name":1}]}])"),
         "",
         "X",
         1,
         {{"012101", "TA", std::nullopt}}},
        {"an ignored member holding elements",
         R"({"identifier":"X","mode":1,"other":{"elements":[5,{"code":1}]},"more":[[{"code":2}]]})",
         "", "X", 1},
    });
}

TEST(JsonRecord, TheLastOfAMemberGivenTwiceCounts) {
    check_all({
        {"identifier", R"({"identifier":"A","mode":1,"identifier":"B"})", "", "B", 1},
        {"identifier then not a text", R"({"identifier":"A","mode":1,"identifier":5})",
         kNoIdentifier},
        {"identifier then null", R"({"identifier":"A","mode":1,"identifier":null})", kNoIdentifier},
        {"not a text then identifier", R"({"identifier":[],"mode":1,"identifier":"B"})", "", "B",
         1},
        {"mode", with_mode("1,\"mode\":2"), "", "X", 2},
        {"mode then text", with_mode("1,\"mode\":\"2\""), kNoMode},
        {"mode then null", with_mode("1,\"mode\":null"), kNoMode},
        {"text then mode", with_mode("\"2\",\"mode\":3"), "", "X", 3},
        {"bad mode then mode", with_mode("300,\"mode\":-1"), "", "X", -1},
        {"elements", with_elements("[" + kTa + "],\"elements\":[]"), "", "X", 1},
        {"elements then null", with_elements("[" + kTa + "],\"elements\":null"), "", "X", 1},
        {"elements then text", with_elements("[" + kTa + "],\"elements\":\"\""), kNotArray},
        {"text then elements",
         with_elements("7,\"elements\":[" + kTa + "]"),
         "",
         "X",
         1,
         {{"012101", "TA", 1.0}}},
        {"bad elements then elements",
         with_elements(R"([5,{"code":1}],"elements":[{"code":"a","name":"b"}])"),
         "",
         "X",
         1,
         {{"a", "b", std::nullopt}}},
        {"elements then bad elements", with_elements("[" + kTa + R"(],"elements":[{}])"),
         bad_element(1)},
        {"element value",
         with_elements(R"([{"code":"a","name":"b","value":1,"value":2}])"),
         "",
         "X",
         1,
         {{"a", "b", 2.0}}},
        {"element value then null",
         with_elements(R"([{"code":"a","name":"b","value":1,"value":null}])"),
         "",
         "X",
         1,
         {{"a", "b", std::nullopt}}},
        {"element value then text",
         with_elements(R"([{"code":"a","name":"b","value":1,"value":"1"}])"),
         "",
         "X",
         1,
         {{"a", "b", std::nullopt, false}}},
        {"element value then object",
         with_elements(R"([{"code":"a","name":"b","value":1,"value":{}}])"),
         "",
         "X",
         1,
         {{"a", "b", std::nullopt, false}}},
        {"element value then array",
         with_elements(R"([{"code":"a","name":"b","value":1,"value":[2]}])"),
         "",
         "X",
         1,
         {{"a", "b", std::nullopt, false}}},
        {"element text then value",
         with_elements(R"([{"code":"a","name":"b","value":"1","value":3}])"),
         "",
         "X",
         1,
         {{"a", "b", 3.0}}},
        {"element code",
         with_elements(R"([{"code":"a","name":"b","code":"c"}])"),
         "",
         "X",
         1,
         {{"c", "b", std::nullopt}}},
        {"element code then number", with_elements(R"([{"code":"a","name":"b","code":1}])"),
         bad_element(1)},
        {"element number then code",
         with_elements(R"([{"code":1,"name":"b","code":"c"}])"),
         "",
         "X",
         1,
         {{"c", "b", std::nullopt}}},
        {"element name then object", with_elements(R"([{"code":"a","name":"b","name":{}}])"),
         bad_element(1)},
    });
}

TEST(JsonRecord, OnlyAWholeLineOfJsonIsRead) {
    const std::string good = R"({"identifier":"X","mode":1})";
    check_all({
        {"empty line", "", kNotJson},
        {"white space only", " \t", kNotJson},
        {"truncated", good.substr(0, good.size() - 1), kNotJson},
        {"truncated in a text", R"({"identifier":"X)", kNotJson},
        {"truncated elements", with_elements("[" + kTa).substr(0, 60), kNotJson},
        {"trailing garbage", good + " x", kNotJson},
        {"trailing comma", R"({"identifier":"X","mode":1,})", kNotJson},
        {"two objects", good + good, kNotJson},
        {"two objects apart", good + " " + good, kNotJson},
        {"bad element then trailing garbage", with_elements("[5]") + "]", kNotJson},
        {"top-level array then truncated", "[1,2", kNotJson},
        {"invalid UTF-8 in a text", "{\"identifier\":\"X\xff\",\"mode\":1}", kNotJson},
        {"overlong UTF-8 in a text", "{\"identifier\":\"\xc0\xaf\",\"mode\":1}", kNotJson},
        {"invalid UTF-8 in an ignored member",
         "{\"identifier\":\"X\",\"mode\":1,\"c\":\"\xe2\x82\"}", kNotJson},
        {"control character in a text", "{\"identifier\":\"X\x01\",\"mode\":1}", kNotJson},
        {"single quotes", "{'identifier':'X','mode':1}", kNotJson},
        {"comment", good + " // note", kNotJson},
        {"top-level array", "[" + good + "]", kNotObject},
        {"top-level number", "7", kNotObject},
        {"top-level text", R"("X")", kNotObject},
        {"top-level null", "null", kNotObject},
        {"top-level empty array", "[]", kNotObject},
        {"empty object", "{}", kNoIdentifier},
        {"white space around", " \t" + good + " \r", "", "X", 1},
        {"BOM", "\xef\xbb\xbf" + good, "", "X", 1},
        {"nesting as deep as read, in an ignored member",
         R"({"identifier":"X","deep":)" + deep(kMaxJsonDepth - 1) + R"(,"mode":1})", "", "X", 1},
        {"nesting one deeper",
         R"({"identifier":"X","deep":)" + deep(kMaxJsonDepth) + R"(,"mode":1})", kNotJson},
        {"nesting far deeper", R"({"identifier":"X","deep":)" + deep(100000) + R"(,"mode":1})",
         kNotJson},
        {"deep nesting, truncated", R"({"identifier":"X","deep":)" + std::string(5000, '['),
         kNotJson},
    });
}

// One reader and record, line after line: each result is that line's only.
TEST(JsonRecord, AReaderKeepsNothingFromAnEarlierLine) {
    std::string long_elements;
    std::vector<Element> long_expected;
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        long_elements += std::string(i ? "," : "") + R"({"code":"0200)" + n +
                         R"(","name":"CLAMT_D000-)" + std::string(200, 'x') + n + R"(","value":)" +
                         n + ".5}";
        long_expected.push_back({"0200" + n, "CLAMT_D000-" + std::string(200, 'x') + n, i + 0.5});
    }
    const std::vector<Case> sequence = {
        {"long",
         R"({"file":"long.txt","identifier":"LONGIDENTIFIER","mode":-7,"elements":[)" +
             long_elements + "]}",
         "", "LONGIDENTIFIER", -7, long_expected, "long.txt"},
        {"short",
         with_elements(R"([{"code":"1","name":"n","value":"v"}])"),
         "",
         "X",
         1,
         {{"1", "n", std::nullopt, false}}},
        {"refused element",
         R"({"identifier":"R","mode":2,"elements":[)" + kTa + ",{\"code\":\"9\"}]}",
         bad_element(2)},
        {"good",
         R"({"identifier":"G","mode":3,"elements":[{"code":"2","name":"m"}]})",
         "",
         "G",
         3,
         {{"2", "m", std::nullopt}}},
        {"not JSON", R"({"identifier":"N","mode":4,"elements":[)" + kTa, kNotJson},
        {"no elements", R"({"identifier":"E","mode":5})", "", "E", 5},
        {"long again",
         R"({"file":"long.txt","identifier":"LONGIDENTIFIER","mode":-7,"elements":[)" +
             long_elements + "]}",
         "", "LONGIDENTIFIER", -7, long_expected, "long.txt"},
    };
    for (const JsonLibrary library : ventrac::encode::json_libraries()) {
        const std::string name = ventrac::encode::json_library_name(library);
        std::unique_ptr<JsonReader> reader = ventrac::encode::make_json_reader(library);
        Record record;
        for (int round = 0; round < 2; ++round) {
            for (const Case &c : sequence) {
                SCOPED_TRACE(name + ": " + c.what);
                check(*reader, record, c, round ? '"' : '\0');
            }
        }
    }
}

}  // namespace
