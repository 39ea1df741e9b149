// The JSON conformance corpus (tests/data/json-corpus): every file must go through the reader
// without a crash, a hang or an error text that grows without bound. The lenient dialect differs
// from strict JSON, so some valid (y_) files do not read cleanly; they are listed below with the
// reason, so that a change in the reader that alters the list is noticed.

#include "json/json_reader.h"
#include "qt_printers.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QDir>
#include <QFile>

#include <cmath>
#include <map>
#include <set>
#include <string>

namespace kelmora {
namespace {

struct NotClean {
    const char* file;
    const char* why;
};

const NotClean kValidFilesNotReadCleanly[] = {
    {"y_number.json", "123e65 is beyond the 96-bit decimal: Desbordamiento"},
    {"y_number_real_exponent.json", "123e45 is beyond the 96-bit decimal: Desbordamiento"},
    {"y_number_real_fraction_exponent.json", "123.456e78 is beyond the 96-bit decimal: Desbordamiento"},
    {"y_object_duplicated_key.json", "keys are unique: the second \"a\" is a fault"},
    {"y_object_duplicated_key_and_value.json", "keys are unique: the second \"a\" is a fault"},
    {"y_object_escaped_null_in_key.json", "escapes in keys are not resolved: the key is foo\\u0000bar"},
    {"y_string_space.json", "the top value must be an object or an array"},
    {"y_structure_lonely_false.json", "the top value must be an object or an array"},
    {"y_structure_lonely_int.json", "the top value must be an object or an array"},
    {"y_structure_lonely_negative_real.json", "the top value must be an object or an array"},
    {"y_structure_lonely_null.json", "the top value must be an object or an array"},
    {"y_structure_lonely_string.json", "the top value must be an object or an array"},
    {"y_structure_lonely_true.json", "the top value must be an object or an array"},
    {"y_structure_string_empty.json", "the top value must be an object or an array"},
};

// The reader's tree against the reference reader's; numbers keep at most two fraction digits.
bool sameAs(const Value& v, const nlohmann::json& j) {
    switch (j.type()) {
    case nlohmann::json::value_t::object: {
        if (!v.isDictionary() || v.toDictionary().Count() != static_cast<qsizetype>(j.size())) return false;
        for (const auto& [key, child] : j.items()) {
            const QString k = QString::fromStdString(key);
            if (!v.toDictionary().exists(k) || !sameAs(v[k], child)) return false;
        }
        return true;
    }
    case nlohmann::json::value_t::array: {
        if (!v.isCollection() || v.toCollection().Count() != static_cast<qsizetype>(j.size())) return false;
        for (qsizetype i = 0; i < v.toCollection().Count(); ++i) {
            if (!sameAs(v.toCollection().item(i + 1), j[static_cast<size_t>(i)])) return false;
        }
        return true;
    }
    case nlohmann::json::value_t::string:
        return v.isText() && *v.textIf() == QString::fromStdString(j.get<std::string>());
    case nlohmann::json::value_t::boolean:
        return v.booleanIf() && *v.booleanIf() == j.get<bool>();
    case nlohmann::json::value_t::null:
        return v.isNull();
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float: {
        if (!v.isNumber()) return false;
        const double expected = j.get<double>();
        return std::fabs(v.numberIf()->toDouble() - expected) < 0.01 + 1e-12 * std::fabs(expected);
    }
    default:
        return false;
    }
}

// Well above what any file makes, far below what an unbounded error text would reach.
constexpr qsizetype kErrorTextCeiling = 66 * 1024;

TEST(JsonReaderCorpus, EveryFileIsReadWithinBoundsAndValidFilesAsListed) {
    const QDir dir(QStringLiteral(KELMORA_JSON_CORPUS_DIR));
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 300);

    JsonReader reader;
    std::map<std::string, std::string> notClean;
    for (const QString& name : files) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        const Value value = reader.leerJSON(QString::fromUtf8(bytes));
        const QString& errors = reader.erroresJSON();
        EXPECT_LE(errors.size(), kErrorTextCeiling) << name.toStdString();
        if (errors == u"Invalid JSON") {
            EXPECT_TRUE(value.isEmpty()) << name.toStdString();
        }
        if (!name.startsWith(u"y_")) continue;

        if (!errors.isEmpty()) {
            notClean[name.toStdString()] = errors.section(u'\r', 0, 0).toStdString();
            continue;
        }
        const auto expected = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
        if (!sameAs(value, expected)) notClean[name.toStdString()] = "tree differs";
    }

    std::map<std::string, std::string> listed;
    for (const auto& entry : kValidFilesNotReadCleanly) listed[entry.file] = entry.why;
    std::string report;
    for (const auto& [file, first] : notClean) report += "  " + file + ": " + first + "\n";
    std::set<std::string> got;
    std::set<std::string> want;
    for (const auto& entry : notClean) got.insert(entry.first);
    for (const auto& entry : listed) want.insert(entry.first);
    EXPECT_EQ(got, want) << "valid files not read cleanly now:\n" << report;
}

}  // namespace
}  // namespace kelmora
