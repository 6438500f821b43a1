#include "support/formats.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <map>
#include <regex>

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
    static const std::regex field("\"([^\"]*)\"\\s*:\\s*([^,}\\s]*)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), field); it != std::sregex_iterator(); ++it)
        fields.emplace_back((*it)[1], (*it)[2]);
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
