#include "support/formats.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <cctype>
#include <map>

namespace testsupport {

bool parseFlatJSON(const std::string& text, std::vector<std::pair<std::string, std::string>>& fields,
                   std::string& error)
{
    fields.clear();
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parse);
    if (doc.isNull() || !doc.isObject()) {
        error = doc.isNull() ? parse.errorString().toStdString() : "not an object";
        return false;
    }
    // Field order and value text from the text itself; the parser vouches for the rest.
    // In a flat object of numbers and booleans the keys are the only strings.
    const auto space = [&](size_t k) { return k < text.size() && std::isspace(static_cast<unsigned char>(text[k])); };
    for (size_t open = text.find('"'); open != std::string::npos; open = text.find('"', open)) {
        const size_t close = text.find('"', open + 1);
        if (close == std::string::npos)
            break;
        size_t k = close + 1;
        while (space(k))
            ++k;
        if (k >= text.size() || text[k] != ':') {
            open = close + 1;
            continue;
        }
        ++k;
        while (space(k))
            ++k;
        const size_t valueStart = k;
        while (k < text.size() && text[k] != ',' && text[k] != '}' && !space(k))
            ++k;
        fields.emplace_back(text.substr(open + 1, close - open - 1), text.substr(valueStart, k - valueStart));
        open = k;
    }
    const QJsonObject object = doc.object();
    for (const auto& f : fields) {
        const QJsonValue value = object.value(QString::fromStdString(f.first));
        if (!value.isDouble() && !value.isBool()) {
            error = "bad value for " + f.first + ": '" + f.second + "'";
            return false;
        }
    }
    if (fields.size() != size_t(object.size())) {
        error = "repeated or unreadable keys";
        return false;
    }
    return true;
}

size_t XmlSummary::count(const std::string& name) const
{
    for (const auto& e : elementCounts) {
        if (e.first == name)
            return e.second;
    }
    return 0;
}

XmlSummary checkXml(const std::string& text)
{
    XmlSummary summary;
    std::map<std::string, size_t> counts;
    QXmlStreamReader xml(QByteArray::fromStdString(text));
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement)
            ++counts[xml.name().toString().toStdString()];
    }
    summary.wellFormed = !xml.hasError();
    summary.error = xml.errorString().toStdString();
    summary.elementCounts.assign(counts.begin(), counts.end());
    return summary;
}

} // namespace testsupport
