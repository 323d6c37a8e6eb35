<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>MainWindow</name>
    <message>
        <source>Open file</source>
        <translation>Открыть файл</translation>
    </message>
    <message>
        <source>All files( *.* )</source>
        <translation>Все файлы ( *.* )</translation>
    </message>
    <message>
        <source>Export file</source>
        <translation>Экспорт в файл</translation>
    </message>
    <message>
        <source>All files(*.WAV)</source>
        <translation>Файлы WAV (*.WAV)</translation>
    </message>
</context>
<context>
    <name>LogWidget</name>
    <message>
        <source>Open log file</source>
        <translation>Открыть журнал</translation>
    </message>
    <message>
        <source>Save log file as</source>
        <translation>Сохранить журнал как</translation>
    </message>
    <message>
        <source>All files( *.* )</source>
        <translation>Все файлы ( *.* )</translation>
    </message>
</context>
<context>
    <name>FileInfoWidget3</name>
    <message>
        <source>File information</source>
        <translation>Информация о файле</translation>
    </message>
</context>
</TS>
