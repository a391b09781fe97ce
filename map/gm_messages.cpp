#include "gm_messages.h"

#include <array>

namespace {

using TTable = std::array<const char*, 16>;

const TTable kEspanol = {
    "No se ha especificado el objeto WebBrowser",
    "Página inicial aun no cargada",
    "El mapa todavía no ha sido creado",
    "No está activo",
    "No se ha podido cargar el recurso",
    "Este objeto no tiene relación en JavaScript",
    "Id de JavaScript incorrecto",
    "Id de JavaScript inexistente",
    "Número de parámetros incorrecto",
    "Tipo de parámetro incorrecto",
    "Valor de parámetro incorrecto",
    "Índice fuera de rango",
    "Mapa no asignado",
    "El fichero no existe",
    "El número de columna es incorrecto",
    "Campo \"%s\" no encontrado en la tabla.",
};

const TTable kEnglish = {
    "WebBrowser not defined",
    "Initial page not loaded",
    "The map is not yet created",
    "Not active",
    "Can't load resource",
    "This object has no relation in JavaScript",
    "Id from JavaScript incorrect",
    "JavaScript Id does not exist",
    "Incorrect number of parameters",
    "Incorrect type parameter",
    "Incorrect value parameter",
    "Index out of range",
    "Map not assigned",
    "File does not exist",
    "The col number is incorrect",
    "Field \"%s\" not found into table.",
};

const TTable kRussian = {
    "WebBrowser не определен",
    "Начальная страница не загружается",
    "Карта еще не создана",
    "Не активно",
    "Не могу загрузить ресурс",
    "Этот объект не JavaScript",
    "Id из JavaScript неверно",
    "JavaScript Id не существует",
    "Неверное количество параметров",
    "Неверный Тип параметра",
    "Неверное значение параметра",
    "Выход за границы индекса",
    "Карта не присвоен на уровне",
    "Файл не существует",
    "Неверный номер столбца",
    "Поле \"%s\" не найден в таблице.",
};

const TTable* TableOf(TLang language)
{
    switch (language) {
    case TLang::English:
        return &kEnglish;
    case TLang::Russian:
        return &kRussian;
    default:
        return nullptr;
    }
}

} // namespace

std::string LocalizeMessage(TLang language, int number)
{
    if (number < 0 || number >= int(kEspanol.size()))
        return {};
    const TTable* table = TableOf(language);
    if (table && *(*table)[size_t(number)] != '\0')
        return (*table)[size_t(number)];
    return kEspanol[size_t(number)];
}
