#pragma once
// The data module: owns the one mailing-list table object for the whole run.
#include "store/MLTable.h"

#include <QObject>
#include <QString>

class TdmML : public QObject
{
    Q_OBJECT
public:
    explicit TdmML(QObject *parent = nullptr);

    // Opens mailist.DAT in the program directory. On failure the table stays
    // closed and the reason is kept in lastError().
    bool DataModuleCreate(const QString &programDir);
    QString lastError() const { return m_lastError; }

    // Close, reopen exclusively, remove every record, close, reopen shared.
    void emptyList(const MLTable::SliceStep &step = {});

    static QString openFailedMessage();
    // The sentence above, then on a second line what is wrong and which file.
    QString openFailedWarning() const;
    static QString readOnlyMessage();

    MLTable tblML;

private:
    QString m_lastError;
};
