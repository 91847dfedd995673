#pragma once
// The raw figure for reading mail: GMime alone parsing each file whole.
#include "bench/BenchSupport.h"

#include <QStringList>

#include <gmime/gmime.h>

#include <fcntl.h>

namespace bench {

inline double gmimeParseSeconds(const QStringList &files)
{
    const auto start = Clock::now();
    for (const QString &file : files) {
        GMimeStream *stream = g_mime_stream_fs_open(file.toLocal8Bit().constData(), O_RDONLY, 0, nullptr);
        if (!stream)
            continue;
        GMimeParser *parser = g_mime_parser_new_with_stream(stream);
        GMimeMessage *message = g_mime_parser_construct_message(parser, nullptr);
        benchmark::DoNotOptimize(message);
        if (message)
            g_object_unref(message);
        g_object_unref(parser);
        g_object_unref(stream);
    }
    return secondsSince(start);
}

} // namespace bench
