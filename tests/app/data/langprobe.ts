<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW" sourcelanguage="en">
<context>
    <name>LangProbe</name>
    <message>
        <source>Settings</source>
        <translation>設定</translation>
    </message>
</context>
</TS>
