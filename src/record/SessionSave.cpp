#include "record/SessionSave.h"

#include <utility>

SaveContent paneContent(PaneSource pane)
{
    const qint64 size = pane.size;
    return {size, [pane = std::move(pane)](SaveSink& sink) {
                return !pane.forEachSpan || pane.forEachSpan([&sink](QByteArrayView span) {
                    return sink.write(span) && sink.advance(span.size());
                });
            }};
}
