<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Body</name>
    <message>
        <source>Tomix</source>
        <translation>Tomix</translation>
    </message>
    <message>
        <source>Tomix: CT reconstruction workbench</source>
        <translation>Tomix: CT 再構成ワークベンチ</translation>
    </message>
</context>
</TS>
