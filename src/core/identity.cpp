#include "core/identity.h"

namespace {
ProductIdentity g_product;
QString g_dataFolder;
} // namespace

namespace identity {

const ProductIdentity& product() {
    return g_product;
}
void setProduct(ProductIdentity value) {
    g_product = std::move(value);
}

const QString& dataFolder() {
    return g_dataFolder;
}
void setDataFolder(QString folder) {
    g_dataFolder = std::move(folder);
}

} // namespace identity
