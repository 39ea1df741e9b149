// Valid JSON documents, made up at random from a fixed seed, must read into the same tree as a
// strict reference reader builds, with an empty error text.

#include "json/json_reader.h"
#include "qt_printers.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace kelmora {
namespace {

class DocumentMaker {
public:
    explicit DocumentMaker(std::uint32_t seed) : random_(seed) {}

    std::string document() {
        std::string out;
        if (chance(2)) {
            object(out, 0);
        } else {
            array(out, 0);
        }
        return out;
    }

private:
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool chance(int oneIn) { return below(oneIn) == 0; }

    void blanks(std::string& out) {
        static const char* const kinds[] = {"", "", "", " ", "\n  ", "\t", "\r\n"};
        out += kinds[below(7)];
    }

    void value(std::string& out, int depth) {
        const int kind = below(depth >= 5 ? 6 : 8);
        switch (kind) {
        case 0:
        case 1:
            string(out);
            break;
        case 2:
            integer(out);
            break;
        case 3:
            decimal(out);
            break;
        case 4:
            out += chance(2) ? "true" : "false";
            break;
        case 5:
            out += "null";
            break;
        case 6:
            object(out, depth + 1);
            break;
        default:
            array(out, depth + 1);
            break;
        }
    }

    void object(std::string& out, int depth) {
        out += '{';
        const int members = below(7);
        for (int i = 0; i < members; ++i) {
            if (i > 0) out += ',';
            blanks(out);
            // Keys are unique and free of blanks, quotes and escapes: the lenient key reading
            // drops blanks and does not resolve escapes.
            static const char* const stems[] = {"nombre", "valor", "cantidad", "Descripci\xC3\xB3n", "a\xC3\xB1o",
                                                "nomMesa", "_id", "K9"};
            out += '"';
            out += stems[below(8)];
            out += std::to_string(i);
            out += '"';
            blanks(out);
            out += ':';
            blanks(out);
            value(out, depth);
            blanks(out);
        }
        out += '}';
    }

    void array(std::string& out, int depth) {
        out += '[';
        const int items = below(7);
        for (int i = 0; i < items; ++i) {
            if (i > 0) out += ',';
            blanks(out);
            value(out, depth);
            blanks(out);
        }
        out += ']';
    }

    void string(std::string& out) {
        static const char* const pieces[] = {
            "a",      "Z",      " ",      "0",       "\xC3\xB1",  "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x8D\x95",
            "\\\"",   "\\\\",   "\\/",    "\\b",     "\\f",       "\\n",      "\\r",          "\\t",
            "\\u00f1", "\\u20AC", "\\u0000", "\\ud83c\\udf55", "'", "/",     "*",            "{}[],:"};
        out += '"';
        const int length = below(12);
        for (int i = 0; i < length; ++i) out += pieces[below(24)];
        out += '"';
    }

    void integer(std::string& out) {
        static const long long limits[] = {10, 1000, 1000000, 1000000000000000LL, 9000000000000000000LL};
        const long long limit = limits[below(5)];
        const long long v = std::uniform_int_distribution<long long>(-limit, limit)(random_);
        out += std::to_string(v);
    }

    // Up to two fraction digits, written plainly or with an exponent.
    void decimal(std::string& out) {
        const long long cents = std::uniform_int_distribution<long long>(-100000000, 100000000)(random_);
        const long long whole = cents / 100;
        const long long frac = std::llabs(cents % 100);
        std::string text = (cents < 0 && whole == 0 ? "-" : "") + std::to_string(whole);
        switch (below(3)) {
        case 0:
            text += '.' + std::string(1, char('0' + frac / 10)) + char('0' + frac % 10);
            break;
        case 1:
            if (frac % 10 == 0) text += '.' + std::string(1, char('0' + frac / 10));
            else text += '.' + std::string(1, char('0' + frac / 10)) + char('0' + frac % 10);
            break;
        default:
            text = std::to_string(cents) + (chance(2) ? "e-2" : "E-2");
            break;
        }
        out += text;
    }

    std::mt19937 random_;
};

Decimal decimalOf(const nlohmann::json& j) {
    if (j.is_number_integer()) return Decimal(static_cast<qint64>(j.get<long long>()));
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", j.get<double>());
    return *Decimal::parse(QString::fromLatin1(buffer));
}

::testing::AssertionResult sameAs(const Value& v, const nlohmann::json& j, const std::string& where) {
    auto differ = [&](const char* what) { return ::testing::AssertionFailure() << what << " at " << where; };
    switch (j.type()) {
    case nlohmann::json::value_t::object: {
        if (!v.isDictionary()) return differ("not an object");
        if (v.toDictionary().Count() != static_cast<qsizetype>(j.size())) return differ("member count");
        // nlohmann keeps keys sorted, so look each one up; order is checked against the text below.
        for (const auto& [key, child] : j.items()) {
            const QString k = QString::fromStdString(key);
            if (!v.toDictionary().exists(k)) return differ("missing key");
            auto r = sameAs(v[k], child, where + "/" + key);
            if (!r) return r;
        }
        return ::testing::AssertionSuccess();
    }
    case nlohmann::json::value_t::array: {
        if (!v.isCollection()) return differ("not an array");
        const Collection c = v.toCollection();
        if (c.Count() != static_cast<qsizetype>(j.size())) return differ("item count");
        for (qsizetype i = 0; i < c.Count(); ++i) {
            auto r = sameAs(c.item(i + 1), j[static_cast<size_t>(i)], where + "[" + std::to_string(i + 1) + "]");
            if (!r) return r;
        }
        return ::testing::AssertionSuccess();
    }
    case nlohmann::json::value_t::string:
        if (!v.isText() || *v.textIf() != QString::fromStdString(j.get<std::string>())) return differ("text");
        return ::testing::AssertionSuccess();
    case nlohmann::json::value_t::boolean:
        if (!v.booleanIf() || *v.booleanIf() != j.get<bool>()) return differ("boolean");
        return ::testing::AssertionSuccess();
    case nlohmann::json::value_t::null:
        if (!v.isNull()) return differ("null");
        return ::testing::AssertionSuccess();
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
        if (!v.isNumber() || *v.numberIf() != decimalOf(j)) return differ("number");
        return ::testing::AssertionSuccess();
    default:
        return differ("unexpected kind");
    }
}

// Member order is the text order; the reference reader does not keep it, so compare it here.
::testing::AssertionResult orderKept(const Value& v, const nlohmann::ordered_json& j) {
    if (j.is_object()) {
        const auto& members = v.toDictionary().members();
        qsizetype i = 0;
        for (const auto& [key, child] : j.items()) {
            if (members.at(i).first != QString::fromStdString(key)) {
                return ::testing::AssertionFailure() << "member order differs at " << key;
            }
            auto r = orderKept(members.at(i).second, child);
            if (!r) return r;
            ++i;
        }
    } else if (j.is_array()) {
        const Collection c = v.toCollection();
        for (qsizetype i = 0; i < c.Count(); ++i) {
            auto r = orderKept(c.item(i + 1), j[static_cast<size_t>(i)]);
            if (!r) return r;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(JsonReaderDifferential, RandomValidDocumentsReadLikeAStrictReader) {
    DocumentMaker maker(20240611U);
    JsonReader reader;
    int nonTrivial = 0;
    for (int n = 0; n < 400; ++n) {
        const std::string text = maker.document();
        const nlohmann::json expected = nlohmann::json::parse(text);
        const Value got = reader.leerJSON(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        ASSERT_EQ(reader.erroresJSON(), u"") << text;
        ASSERT_TRUE(sameAs(got, expected, "$")) << text;
        ASSERT_TRUE(orderKept(got, nlohmann::ordered_json::parse(text))) << text;
        if (text.size() > 200) ++nonTrivial;
    }
    EXPECT_GT(nonTrivial, 50);  // the generator does make nested documents
}

}  // namespace
}  // namespace kelmora
