#include "requestposter.h"

#include "requestlayer.h"

#include <QDebug>
#include <QHttpMultiPart>

namespace zq::catalogue {

Poster requestPoster(RequestLayer* layer)
{
    return [layer](const QString& url, const FormFields& fields, const QString& type) {
        QHttpMultiPart* body = RequestLayer::newForm();
        for (const auto& field : fields)
            RequestLayer::addFormPart(body, field.first, field.second);
        qDebug() << "boundary:" << body->boundary();
        layer->httpRequestByPost(url, body, type);
    };
}

} // namespace zq::catalogue
