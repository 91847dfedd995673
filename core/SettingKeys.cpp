#include "core/SettingKeys.h"

#include "core/AsciiCase.h"

#include <array>

namespace settingkeys {

namespace {

// A text's default also applies when it is stored empty. Values are read in
// another order than they are written; it is kept so that a value which
// cannot be read stops loading at the same place.
constexpr Key kKeys[] = {
    // value name, kind {member, default when missing, built-in start}, reading step
    {"MailingListGroup", Text{&Settings::MailingListGroup, "VMailingList", "VMailingList"}, 1},
    {"AlternativeCategory", Text{&Settings::AlternativeCategory, &Settings::defaultcategory, ""}, 2},
    {"FailedMail", Flag{&Settings::FailedMail, false, true}, 3},
    {"RestrictCategories", Flag{&Settings::RestrictCategories, false, false}, 10},
    {"BounceMax", Number{&Settings::BounceMax, 10, 10}, 4},
    {"DefaultToAddress", Text{&Settings::DefaultToAddress, "", ""}, 5},
    {"MultipleCategorySupport", Flag{&Settings::MultipleCategorySupport, true, false}, 8},
    {"Acknowledge", Flag{&Settings::Acknowledge, false, false}, 6},
    {"SendCount ", Number{&Settings::SendCount, 500, 500}, 7}, // the blank is part of the name
    {"Except", Flag{&Settings::Except, true, true}, 9},
    {"defaultcategory", Text{&Settings::defaultcategory, "Default", "Default"}, 12},
    {"allowfromaddressasentry", Flag{&Settings::allowfromaddressasentry, true, true}, 13},
    {"UpdateCommentsWhenEntryExists", Flag{&Settings::UpdateCommentsWhenEntryExists, true, false}, 14},
    {"ScanAllEmailLines", Flag{&Settings::ScanAllEmailLines, false, true}, 15},
    {"AutoScan", Flag{&Settings::AutoScan, false, false}, 11},
    {"ReadDeliveryReports", Flag{&Settings::ReadDeliveryReports, true, true}, 16},
    {"MailAccount", Text{&Settings::MailAccount, "Local", "Local"}, 17},
    {"MailStoreFolder", Text{&Settings::MailStoreFolder, "", ""}, 18},
    {"ImapServer", Text{&Settings::ImapServer, "", ""}, 19},
    {"ImapPort", Number{&Settings::ImapPort, 993, 993}, 20},
    {"ImapSecurity", Text{&Settings::ImapSecurity, "SSL/TLS", "SSL/TLS"}, 21},
    {"ImapUser", Text{&Settings::ImapUser, "", ""}, 22},
    {"ImapTrustedCertificate", Text{&Settings::ImapTrustedCertificate, "", ""}, 23},
    {"SendMethod", Text{&Settings::SendMethod, "Outbox", "Outbox"}, 24},
    {"SmtpServer", Text{&Settings::SmtpServer, "", ""}, 25},
    {"SmtpPort", Number{&Settings::SmtpPort, 587, 587}, 26},
    {"SmtpSecurity", Text{&Settings::SmtpSecurity, "STARTTLS", "STARTTLS"}, 27},
    {"SmtpUser", Text{&Settings::SmtpUser, "", ""}, 28},
    {"SmtpSender", Text{&Settings::SmtpSender, "", ""}, 29},
    {"SmtpTrustedCertificate", Text{&Settings::SmtpTrustedCertificate, "", ""}, 30},
    {"ListName", Text{&Settings::ListName, "", ""}, 31},
    {"SmtpVerp", Flag{&Settings::SmtpVerp, false, false}, 32},
    {"RemoveComplainers", Flag{&Settings::RemoveComplainers, true, true}, 33},
};

constexpr auto kLoadOrder = [] {
    std::array<const Key *, std::size(kKeys)> order{};
    for (const Key &key : kKeys)
        order.at(key.loadStep - 1) = &key;
    return order;
}();

constexpr bool eachStepOnce()
{
    for (const Key *key : kLoadOrder) {
        if (!key)
            return false;
    }
    return true;
}
static_assert(eachStepOnce(), "load steps must run from 1 to the number of keys, each once");

// Key::load fills such a text in only when its source is read after it.
constexpr bool textsReadBeforeTheirDefault()
{
    for (const Key &key : kKeys) {
        const Text *text = std::get_if<Text>(&key.field);
        if (!text || !text->missing.sameAs)
            continue;
        for (const Key &source : kKeys) {
            const Text *other = std::get_if<Text>(&source.field);
            if (other && other->member == text->missing.sameAs && source.loadStep < key.loadStep)
                return false;
        }
    }
    return true;
}
static_assert(textsReadBeforeTheirDefault());

QString startText(const char *text)
{
    return *text ? QString::fromLatin1(text) : QString();
}

} // namespace

void Text::load(Settings &s, const QString &stored) const
{
    s.*member = stored.isEmpty() && missing.text ? startText(missing.text) : stored;
}

void Text::reset(Settings &s) const
{
    s.*member = startText(start);
}

void Flag::load(Settings &s, const QString &stored) const
{
    // Full Unicode case mapping would also accept look-alikes such as "falſe".
    const QString word = upperAZ(stored);
    if (word == QLatin1String("TRUE"))
        s.*member = true;
    else if (word == QLatin1String("FALSE"))
        s.*member = false;
    else
        s.*member = missing;
}

QString Flag::stored(const Settings &s) const
{
    return s.*member ? QStringLiteral("true") : QStringLiteral("False");
}

void Number::load(Settings &s, const QString &stored) const
{
    bool ok = false;
    const int value = stored.toInt(&ok, 10);
    // Both numbers are counts: a negative one is a slip of a hand edit, and
    // a bounce limit below zero would remove an entry at its first bounce.
    s.*member = ok && value >= 0 ? value : missing;
}

void Key::load(Settings &s, const QString &stored) const
{
    std::visit([&](const auto &f) { f.load(s, stored); }, field);
    const Text *source = std::get_if<Text>(&field);
    if (!source)
        return;
    for (const Key &key : kKeys) {
        const Text *text = std::get_if<Text>(&key.field);
        if (text && text->missing.sameAs == source->member && (s.*text->member).isEmpty())
            s.*text->member = s.*source->member;
    }
}

QString Key::stored(const Settings &s) const
{
    return std::visit([&](const auto &f) { return f.stored(s); }, field);
}

void Key::reset(Settings &s) const
{
    std::visit([&](const auto &f) { f.reset(s); }, field);
}

bool Key::holds(bool Settings::*member) const
{
    const Flag *flag = std::get_if<Flag>(&field);
    return flag && flag->member == member;
}

std::span<const Key> keys()
{
    return kKeys;
}

QString textDefault(QString Settings::*member)
{
    for (const Key &key : kKeys) {
        const auto *text = std::get_if<Text>(&key.field);
        if (text && text->member == member && text->missing.text)
            return QString::fromLatin1(text->missing.text);
    }
    return {};
}

std::span<const Key *const> loadOrder()
{
    return kLoadOrder;
}

} // namespace settingkeys

Settings::Settings()
{
    for (const settingkeys::Key &key : settingkeys::keys())
        key.reset(*this);
}
