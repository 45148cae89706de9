// SPDX-License-Identifier: Apache-2.0
// The applications the picker lists, in the order given: one row each, with its `name` and
// `path`.
#pragma once

#include "apps/AppInfo.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>
#include <vector>

namespace palmcue::ui {

class AppListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell lists the installed applications once, for the view.")

public:
    explicit AppListModel(std::vector<apps::AppInfo> apps = {}, QObject* parent = nullptr);

    const std::vector<apps::AppInfo>& apps() const { return apps_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    enum Role { Name = Qt::UserRole + 1, Path };

    std::vector<apps::AppInfo> apps_;
};

} // namespace palmcue::ui
