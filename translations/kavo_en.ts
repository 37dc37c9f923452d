<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>ShelfAccessible</name>
    <message numerus="yes">
        <source>Shelf, %n items</source>
        <translation>
            <numerusform>Shelf, %n item</numerusform>
            <numerusform>Shelf, %n items</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n items: %1</source>
        <translation>
            <numerusform>%n item: %1</numerusform>
            <numerusform>%n items: %1</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ShelfStore</name>
    <message numerus="yes">
        <source>%Ln items</source>
        <translation>
            <numerusform>%Ln item</numerusform>
            <numerusform>%Ln items</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln folders</source>
        <translation>
            <numerusform>%Ln folder</numerusform>
            <numerusform>%Ln folders</numerusform>
        </translation>
    </message>
</context>
</TS>
