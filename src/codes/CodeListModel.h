#pragma once

#include "codes/CodeRows.h"
#include "views/FrameCoalescer.h"
#include "views/PaneTimes.h"

#include <QAbstractListModel>

#include <memory>
#include <utility>

class LineGroups;

// The code list's rows as a Qt model over CodeRows, the session record's code rows. A row
// exists in the record as soon as it is appended; the view hears of new rows at most once per
// frame, in one insertion, so a flood of chunks costs the view one update per frame instead
// of one per chunk. Each row's tool tip tells where and when its chunk arrived.
//
// The list may begin later than the record ("Limpiar lista"): it then shows the rows that
// arrived since, while the record keeps every row. Its codes are shown in decimal or in
// hexadecimal, and the serial port's rows may show grouped by line (LineGroups): the choices
// change only how rows read, never what the record holds.
class CodeListModel : public QAbstractListModel {
    Q_OBJECT

public:
    // A row is shown with at most this many codes, more than the column can show; copying it
    // gives them all.
    static constexpr qsizetype kShownCodes = 256;
    // The first bytes of the row's chunk (up to kShownCodes + 1), for drawing it.
    static constexpr int kHeadBytesRole = Qt::UserRole;
    // The CodeBase the row is shown in, as an int, for drawing it.
    static constexpr int kCodeBaseRole = Qt::UserRole + 1;

    // The row's time as the "Hora" column shows it, "" while times are hidden.
    static constexpr int kTimeRole = Qt::UserRole + 2;

    // Record rows read per frame while grouping catches up with the record.
    static constexpr qint64 kGroupingRowsPerFrame = 100'000;

    explicit CodeListModel(SessionRecord& record, QObject* parent = nullptr);
    ~CodeListModel() override;

    void append(QByteArrayView chunk);
    const CodeRows& rows() const { return m_rows; }

    // Empties the list: from now on it shows only rows that arrive later. The record keeps
    // every row.
    void clear();
    // The record's row the list's first row is.
    qint64 firstRow() const { return m_first; }

    void setCodeBase(CodeBase base);
    CodeBase codeBase() const { return m_base; }

    // "Agrupar la serie por línea".
    void setGroupedByLine(bool grouped);
    bool groupedByLine() const { return m_groups != nullptr; }

    // "Mostrar hora" / "Hora relativa": each row's arrival time (its first chunk's, from the
    // record), or the time since the row before. Shown rows read (and copy) with it and a
    // tab before their codes.
    void setTimes(PaneTimes::Mode mode);
    PaneTimes::Mode times() const { return m_times; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Tells the view of rows it has not heard of yet; normally runs by itself.
    void publish();

private:
    // The record rows [first, second) a shown row is made of.
    std::pair<qint64, qint64> recordRows(int shown) const;
    // The shown row's bytes, at most maxBytes of them when maxBytes >= 0.
    QByteArray shownBytes(int shown, qint64 maxBytes) const;

    SessionRecord& m_record;
    CodeRows m_rows;
    qint64 m_first = 0;
    int m_published = 0;
    QString timeOf(int shown) const;

    CodeBase m_base = CodeBase::Decimal;
    PaneTimes::Mode m_times = PaneTimes::Mode::Hidden;
    std::unique_ptr<LineGroups> m_groups;
    FrameCoalescer m_publisher{[this] { publish(); }, this};
};
