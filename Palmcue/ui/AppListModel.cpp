// SPDX-License-Identifier: Apache-2.0
#include "ui/AppListModel.h"

namespace palmcue::ui {

AppListModel::AppListModel(std::vector<apps::AppInfo> apps, QObject* parent)
    : QAbstractListModel(parent), apps_(std::move(apps)) {}

int AppListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(apps_.size());
}

QVariant AppListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const apps::AppInfo& app = apps_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Name:
        return app.name;
    case Path:
        return app.path;
    default:
        return {};
    }
}

QHash<int, QByteArray> AppListModel::roleNames() const {
    return {{Name, "name"}, {Path, "path"}};
}

} // namespace palmcue::ui
