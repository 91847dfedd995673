#pragma once
// Harvests e-mail addresses from a top-level folder of the mail client:
// senders, recipients and body text of messages, or the addresses of
// contacts. The reading half of the folder scan window.
#include "intake/HarvestRules.h"
#include "intake/extractemailaddresses.h"
#include "platform/outlook/Automation.h"

#include <QString>
#include <QStringList>

#include <functional>

// Appends one address field: text holding ";" is split into its trimmed
// addresses, other text is appended unchanged, empty text adds nothing.
void addemailaddresses(QStringList &list, const QString &field);

class FolderScan
{
public:
    enum class Kind { Messages, Contacts };
    struct Fields
    {
        bool from = true;
        bool recipients = false;
        bool body = false;
    };

    explicit FolderScan(AddressTest valid);

    // Makes the application object; the local store's by default.
    void setApplicationFactory(std::function<platform::outlook::OleVariant()> factory);

    // Appends the names of the top-level folders in order. Failures of the
    // mail client are thrown; names added before one stay.
    void listFolders(QStringList &names) const;

    // Which addresses are listed; by default every address, each once.
    void setHarvestRules(HarvestRules rules);

    // Told the items done and the folder's count before each item; false
    // stops the scan there.
    using Step = std::function<bool(int done, int total)>;

    // Appends what the folder's items hold, from the last item to the first,
    // each address that found does not hold yet. False when the folder
    // cannot be opened. A failing item is skipped with what it added kept;
    // failures of the mail client itself are thrown. A stop keeps what was
    // found before it.
    bool scan(const QString &folderName, Kind kind, const Fields &fields, QStringList &found,
              const Step &step = {}) const;

    // What the folder holds, told by its newest items; an empty or
    // unreadable folder is told by its name.
    Kind kindOf(const QString &folderName) const;

private:
    platform::outlook::OleVariant root() const;
    void readMessage(const platform::outlook::OleVariant &folder, int index, const Fields &fields,
                     QStringList &found) const;

    AddressTest m_valid;
    HarvestRules m_rules;
    std::function<platform::outlook::OleVariant()> m_factory;
};
