#include "mail/BulkSend.h"

BulkSendResult runBulkSend(const QStringList &addresses, int maximum, BulkSendSteps &steps)
{
    const bool ownMessage = maximum <= 1;
    const int perMessage = ownMessage ? 1 : maximum;
    const int total = int(addresses.size());
    BulkSendResult result;
    int inMessage = 0;
    int resolvedInMessage = 0;
    auto send = [&](const QString &lastAddress) {
        if (resolvedInMessage > 0) {
            steps.sendMessage();
            ++result.messages;
            steps.messagePlaced(lastAddress, result.done);
        }
        inMessage = 0;
        resolvedInMessage = 0;
    };
    for (int i = 0; i < total; ++i) {
        const QString address = addresses.at(i).trimmed();
        steps.progress(i, total, address);
        steps.pumpEvents();
        if (steps.breakConfirmed()) {
            result.broken = true;
            break;
        }
        // A blank entry counts but adds no recipient.
        if (!address.isEmpty() && steps.addAddress(address, ownMessage))
            ++resolvedInMessage;
        ++result.done;
        if (++inMessage == perMessage)
            send(addresses.at(i));
    }
    send(result.done > 0 ? addresses.at(result.done - 1) : QString());
    return result;
}
