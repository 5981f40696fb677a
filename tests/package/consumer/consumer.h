// The host's own service definition: none; soapcpp2 still generates the
// fault and header code that the gSOAP runtime calls back into.
//gsoap ns schema namespace: urn:quorvil:consumer
