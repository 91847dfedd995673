#pragma once
// The user's stored settings. Their stored names, defaults and built-in
// starting values live in one key table (core/SettingKeys.h); the constructor
// gives every member its starting value from there, in force until the
// registry has been read.
#include <QString>

struct Settings
{
    Settings();

    QString MailingListGroup;
    QString AlternativeCategory;
    bool FailedMail{};
    bool RestrictCategories{};
    int BounceMax{};
    QString DefaultToAddress;
    bool MultipleCategorySupport{};
    bool Acknowledge{};
    int SendCount{};
    bool Except{};
    QString defaultcategory;
    bool allowfromaddressasentry{};
    bool UpdateCommentsWhenEntryExists{};
    bool ScanAllEmailLines{};
    bool AutoScan{};
    bool ReadDeliveryReports{};
    bool RemoveComplainers{}; // remove members who report the list's mail as spam
    // The mail account: "Local" (the store folder, empty for ~/Maildir) or "IMAP".
    QString MailAccount;
    QString MailStoreFolder;
    QString ImapServer;
    int ImapPort{};
    QString ImapSecurity; // "SSL/TLS", "STARTTLS" or "None"
    QString ImapUser;
    // "host:port SHA-256" of a certificate the user chose to trust.
    QString ImapTrustedCertificate;
    // How Outbox messages leave: "Outbox" (a mail client sends them), "SMTP"
    // or "Sendmail".
    QString SendMethod;
    QString SmtpServer;
    int SmtpPort{};
    QString SmtpSecurity; // "STARTTLS", "SSL/TLS" or "None"
    QString SmtpUser;
    QString SmtpSender; // empty: the mail profile's address
    QString SmtpTrustedCertificate; // SHA-256 of a certificate trusted for SmtpServer
    QString ListName; // empty: made from the owner's address
    bool SmtpVerp{}; // each recipient a return address of its own, owner+user=domain@host

    bool operator==(const Settings &) const = default;
};
