#include "transfer/ReceivedLinesModel.h"

#include "transfer/ReceiveEngine.h"

ReceivedLinesModel::ReceivedLinesModel(ReceiveEngine *engine, QObject *parent)
    : QAbstractListModel(parent), m_engine(engine)
{
    connect(engine, &ReceiveEngine::linesChanged, this, &ReceivedLinesModel::onLinesChanged);
}

int ReceivedLinesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant ReceivedLinesModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows)
        return {};
    return m_engine->line(index.row());
}

void ReceivedLinesModel::onLinesChanged(int firstRow)
{
    const int now = m_engine->lineCount();
    if (now < m_rows) {
        beginRemoveRows(QModelIndex(), now, m_rows - 1);
        m_rows = now;
        endRemoveRows();
    }
    if (firstRow < m_rows)
        emit dataChanged(index(firstRow), index(m_rows - 1), {Qt::DisplayRole});
    if (now > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, now - 1);
        m_rows = now;
        endInsertRows();
    }
}
