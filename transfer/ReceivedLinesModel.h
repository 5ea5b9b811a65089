#pragma once
// The receive window's list as a view over the engine's lines: no row is copied, and the
// view only asks for the rows it draws.
#include <QAbstractListModel>

class ReceiveEngine;

class ReceivedLinesModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit ReceivedLinesModel(ReceiveEngine *engine, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void onLinesChanged(int firstRow);

    ReceiveEngine *m_engine;
    int m_rows = 0;
};
